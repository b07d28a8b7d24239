#include "app/SingleInstance.h"

#include "platform/UserDefaults.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace lumarient {

namespace {
const QByteArray activateMessage = "activate\n";
}

SingleInstance::SingleInstance(QString name, QObject *parent) : QObject(parent), name_(std::move(name))
{
}

QString SingleInstance::defaultName()
{
    // One instance per user and settings file: a test or portable copy with
    // settings of its own runs beside the user's app.
    const QByteArray settings = UserDefaults::defaultFilePath().toUtf8();
    const QByteArray digest = QCryptographicHash::hash(settings, QCryptographicHash::Sha1).toHex().left(12);
    return QStringLiteral("lumarient-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

bool SingleInstance::handOverToRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(activateMessage);
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::listen()
{
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // Nobody answered on it (checked before), so it is left over from a crash.
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_))
            return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = server_->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                // Only a well-formed request counts; anything else is dropped.
                const QByteArray line = client->readLine(64);
                if (line == activateMessage)
                    emit activationRequested();
                client->disconnectFromServer();
            });
        }
    });
    return true;
}

} // namespace lumarient
