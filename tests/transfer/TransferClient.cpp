#include "TransferClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace lumarient::test {

TransferClient::TransferClient(std::uint16_t port)
{
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

TransferClient::~TransferClient()
{
    if (socket_ >= 0)
        ::close(socket_);
}

bool TransferClient::send(const QByteArray &bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t written = ::send(socket_, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        sent += written;
    }
    return true;
}

void TransferClient::finishSending()
{
    ::shutdown(socket_, SHUT_WR);
}

void TransferClient::reset()
{
    const linger abort{1, 0};
    ::setsockopt(socket_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(socket_);
    socket_ = -1;
}

QByteArray TransferClient::reply(int timeoutMs)
{
    QByteArray received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{socket_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, int(left.count())) <= 0) {
            received.append("<timed out>");
            return received;
        }
        char buffer[256];
        const ssize_t count = ::recv(socket_, buffer, sizeof buffer, 0);
        if (count <= 0) // the end of the stream, or a reset from a receiver that closed on unread bytes
            return received;
        received.append(buffer, count);
    }
}

QByteArray transfer(std::uint16_t port, const QJsonObject &header, const QByteArray &body)
{
    TransferClient client(port);
    client.sendHeader(header);
    client.send(body);
    client.finishSending();
    return client.reply();
}

QByteArray wire(const QJsonObject &header, const QByteArray &body)
{
    const QByteArray json = QJsonDocument(header).toJson(QJsonDocument::Compact);
    return bigEndianLength(std::uint32_t(json.size())) + json + body;
}

QByteArray bigEndianLength(std::uint32_t length)
{
    const char bytes[4] = {char(length >> 24), char(length >> 16), char(length >> 8), char(length)};
    return QByteArray(bytes, 4);
}

QJsonObject textHeader(qint64 size)
{
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("size"), size}};
}

QJsonObject fileHeader(const QJsonValue &name, qint64 size)
{
    QJsonObject header{{QStringLiteral("type"), QStringLiteral("file")}, {QStringLiteral("size"), size}};
    if (!name.isUndefined())
        header.insert(QStringLiteral("name"), name);
    return header;
}

void RecordingNotifier::notify(const QString &title, const QString &body)
{
    QMutexLocker lock(&mutex_);
    notifications_.append({title, body});
}

QList<QPair<QString, QString>> RecordingNotifier::notifications() const
{
    QMutexLocker lock(&mutex_);
    return notifications_;
}

void RecordingClipboard::setText(const QString &text)
{
    QMutexLocker lock(&mutex_);
    texts_.append(text);
}

QStringList RecordingClipboard::texts() const
{
    QMutexLocker lock(&mutex_);
    return texts_;
}

} // namespace lumarient::test
