#include "support/HttpTestServer.h"

#include <QTcpSocket>

namespace lumarient::test {

HttpTestServer::HttpTestServer()
{
    listen(QHostAddress::LocalHost);
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
}

QUrl HttpTestServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
}

void HttpTestServer::answer(QTcpSocket *socket)
{
    const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n"))
        return;
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() >= 2 ? QString::fromLatin1(requestLine[1]) : QString();
    ++requestCounts_[path];
    const Response response = responses_.value(path, Response{404, "not found", {}});
    const qint64 length = response.declaredLength.value_or(response.body.size());
    socket->write("HTTP/1.1 " + QByteArray::number(response.status) + " Test\r\nContent-Length: " +
                  QByteArray::number(length) + "\r\nConnection: close\r\n\r\n" + response.body);
    socket->disconnectFromHost();
}

} // namespace lumarient::test
