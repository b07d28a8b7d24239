#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <optional>

namespace lumarient::test {

// A minimal HTTP/1.1 server on 127.0.0.1 for clients that fetch over the
// network: each path answers with a fixed status and body, or misbehaves on purpose.
class HttpTestServer : public QTcpServer {
public:
    struct Response {
        int status = 200;
        QByteArray body;
        // A Content-Length other than the body's: the connection closes after
        // the body, so a larger one is a truncated download.
        std::optional<qint64> declaredLength;
    };

    HttpTestServer();

    void serve(const QString &path, Response response) { responses_.insert(path, std::move(response)); }
    QUrl url(const QString &path) const;
    int requests(const QString &path) const { return requestCounts_.value(path); }

private:
    void answer(class QTcpSocket *socket);

    QHash<QString, Response> responses_;
    QHash<QString, int> requestCounts_;
};

} // namespace lumarient::test
