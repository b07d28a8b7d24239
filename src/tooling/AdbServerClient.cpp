#include "tooling/AdbServerClient.h"

#include "tooling/AdbWire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

namespace lumarient {
namespace {

using Clock = std::chrono::steady_clock;
using Answer = AdbServerClient::Answer;
using Outcome = AdbServerClient::Outcome;

// A non-blocking loopback connection whose every wait ends at one deadline.
class Connection {
public:
    Connection(std::uint16_t port, Clock::time_point deadline) : deadline_(deadline)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            connected_ = true;
            return;
        }
        if (errno != EINPROGRESS || !wait(POLLOUT))
            return;
        int error = 0;
        socklen_t length = sizeof error;
        connected_ = ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    ~Connection()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool connected() const { return connected_; }

    bool send(const QByteArray &bytes)
    {
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            const ssize_t count = ::send(fd_, bytes.constData() + sent, std::size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (count > 0) {
                sent += count;
            } else if (count < 0 && errno == EINTR) {
                continue;
            } else if (count < 0 && errno == EAGAIN) {
                if (!wait(POLLOUT))
                    return false;
            } else {
                return false;
            }
        }
        return true;
    }

    // Appends what arrives to `buffer`; false on end of stream, error or time-out.
    bool receive(QByteArray &buffer)
    {
        for (;;) {
            char chunk[4096];
            const ssize_t count = ::recv(fd_, chunk, sizeof chunk, 0);
            if (count > 0) {
                buffer.append(chunk, count);
                return true;
            }
            if (count == 0)
                return false;
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN || !wait(POLLIN))
                return false;
        }
    }

private:
    bool wait(short events)
    {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
            if (left.count() <= 0)
                return false;
            pollfd entry{fd_, events, 0};
            const int ready = ::poll(&entry, 1, int(left.count()) + 1);
            if (ready > 0)
                return true;
            if (ready < 0 && errno != EINTR)
                return false;
        }
    }

    int fd_ = -1;
    bool connected_ = false;
    Clock::time_point deadline_;
};

// Reads one status; nothing when the answer is cut off, malformed or late.
std::optional<adbwire::Status> readStatus(Connection &connection, QByteArray &buffer)
{
    for (;;) {
        adbwire::Status status = adbwire::takeStatus(buffer);
        if (status.take == adbwire::Take::done)
            return status;
        if (status.take == adbwire::Take::malformed || !connection.receive(buffer))
            return std::nullopt;
    }
}

std::optional<QByteArray> readBlock(Connection &connection, QByteArray &buffer)
{
    for (;;) {
        adbwire::Block block = adbwire::takeBlock(buffer);
        if (block.take == adbwire::Take::done)
            return block.data;
        if (block.take == adbwire::Take::malformed || !connection.receive(buffer))
            return std::nullopt;
    }
}

} // namespace

std::uint16_t AdbServerClient::portFromEnvironment()
{
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("ANDROID_ADB_SERVER_PORT", &ok);
    if (!ok || port < 1 || port > 65535)
        return defaultPort;
    return std::uint16_t(port);
}

AdbServerClient::AdbServerClient(std::uint16_t port, std::chrono::milliseconds timeLimit)
    : port_(port), timeLimit_(timeLimit)
{
}

Answer AdbServerClient::hostQuery(const QByteArray &service) const
{
    return ask({}, service, Reply::block);
}

Answer AdbServerClient::phoneQuery(const QString &serial, const QByteArray &service) const
{
    return ask(serial, service, Reply::block);
}

Answer AdbServerClient::phoneCommand(const QString &serial, const QByteArray &service) const
{
    return ask(serial, service, Reply::secondStatus);
}

Answer AdbServerClient::ask(const QString &serial, const QByteArray &service, Reply reply) const
{
    const std::optional<QByteArray> request = adbwire::request(service);
    if (!request)
        return {};
    Connection connection(port_, Clock::now() + timeLimit_);
    if (!connection.connected())
        return {};
    QByteArray buffer;
    if (!serial.isEmpty()) {
        const std::optional<QByteArray> transport = adbwire::request("host:transport:" + serial.toUtf8());
        if (!transport || !connection.send(*transport))
            return {};
        const std::optional<adbwire::Status> status = readStatus(connection, buffer);
        if (!status)
            return {};
        if (!status->okay)
            return {Outcome::refused, status->message};
    }
    if (!connection.send(*request))
        return {};
    const std::optional<adbwire::Status> status = readStatus(connection, buffer);
    if (!status)
        return {};
    if (!status->okay)
        return {serial.isEmpty() ? Outcome::unavailable : Outcome::refused, status->message};
    if (reply == Reply::secondStatus) {
        const std::optional<adbwire::Status> second = readStatus(connection, buffer);
        if (!second)
            return {};
        if (!second->okay)
            return {Outcome::refused, second->message};
        return {Outcome::answered, {}};
    }
    const std::optional<QByteArray> block = readBlock(connection, buffer);
    if (!block)
        return {};
    return {Outcome::answered, *block};
}

} // namespace lumarient
