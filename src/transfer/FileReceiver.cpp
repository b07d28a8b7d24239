#include "transfer/FileReceiver.h"

#include "platform/Log.h"
#include "transfer/TransferDelivery.h"
#include "transfer/TransferSession.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lumarient {

namespace {

const QString component = QStringLiteral("FileReceiver");

void closeDescriptor(int &descriptor)
{
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
}

// One accepted connection. The delivery outlives the session that writes into it.
struct Connection {
    Connection(int socket, const QString &folder, const DownloadsFile::FreeSpace &freeSpace, Notifier &notifier,
               Clipboard &clipboard)
        : socket(socket), delivery(folder, freeSpace, notifier, clipboard), session(delivery)
    {
    }
    ~Connection() { ::close(socket); }

    int socket;
    TransferDelivery delivery;
    TransferSession session;
};

// Reads from a readable connection and carries out what the session asks. A busy
// connection gets a few reads per turn, which saves a wait for readiness per read
// without starving the others. Returns false when the connection is over.
bool serve(Connection &connection, std::vector<char> &buffer)
{
    constexpr int readsPerTurn = 8;
    for (int turn = 0; turn < readsPerTurn; ++turn) {
        const std::size_t wanted = std::min(connection.session.wanted(), buffer.size());
        const ssize_t received = ::recv(connection.socket, buffer.data(), wanted, 0);
        TransferSession::Step step;
        if (received > 0)
            step = connection.session.receive(buffer.data(), std::size_t(received));
        else if (received == 0)
            step = connection.session.endOfStream();
        else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return true;
        else
            step = connection.session.fail();

        switch (step) {
        case TransferSession::Step::read:
            // A short read has most likely emptied the socket: wait for more.
            if (std::size_t(received) < wanted)
                return true;
            break;
        case TransferSession::Step::acknowledge: {
            // A fresh connection's send buffer always has room for one byte.
            const char acknowledgement = char(transferLimits::acknowledgement);
            return ::send(connection.socket, &acknowledgement, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1;
        }
        case TransferSession::Step::close:
            return false;
        }
    }
    return true;
}

} // namespace

FileReceiver::FileReceiver(QString downloadsFolder, Notifier &notifier, Clipboard &clipboard, std::uint16_t port,
                           DownloadsFile::FreeSpace freeSpace)
    : downloadsFolder_(std::move(downloadsFolder)), notifier_(notifier), clipboard_(clipboard), requestedPort_(port),
      freeSpace_(std::move(freeSpace))
{
}

FileReceiver::~FileReceiver()
{
    stop();
}

void FileReceiver::start()
{
    if (isListening())
        return;

    const auto giveUp = [&](const char *what) {
        logLine(component, QStringLiteral("Not receiving files: cannot %1 127.0.0.1:%2 (%3)")
                               .arg(QLatin1String(what))
                               .arg(requestedPort_)
                               .arg(QString::fromLocal8Bit(std::strerror(errno))));
        closeDescriptor(listener_);
        closeDescriptor(poller_);
        closeDescriptor(wakeUp_);
    };

    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        return giveUp("listen on");
    // Lets a restarted app take the port back while old connections linger in TIME_WAIT;
    // a second listener is still refused.
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(requestedPort_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return giveUp("bind");
    if (::listen(listener_, SOMAXCONN) != 0)
        return giveUp("listen on");
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length);
    boundPort_ = ntohs(address.sin_port);

    poller_ = ::epoll_create1(EPOLL_CLOEXEC);
    wakeUp_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (poller_ < 0 || wakeUp_ < 0)
        return giveUp("watch");
    epoll_event listening{EPOLLIN, {.fd = listener_}};
    epoll_event waking{EPOLLIN, {.fd = wakeUp_}};
    ::epoll_ctl(poller_, EPOLL_CTL_ADD, listener_, &listening);
    ::epoll_ctl(poller_, EPOLL_CTL_ADD, wakeUp_, &waking);

    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

void FileReceiver::stop()
{
    if (!isListening())
        return;
    thread_.request_stop();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeUp_, &one, sizeof one);
    thread_.join();
    thread_ = std::jthread();
    closeDescriptor(listener_);
    closeDescriptor(poller_);
    closeDescriptor(wakeUp_);
    boundPort_ = 0;
}

void FileReceiver::run(std::stop_token stop)
{
    ::prctl(PR_SET_NAME, "lumarient.filereceiver"); // the kernel keeps the first 15 characters

    std::map<int, std::unique_ptr<Connection>> connections;
    std::vector<char> buffer(transferLimits::fileReadStep);
    bool accepting = true;

    const auto closeConnection = [&](int socket) {
        ::epoll_ctl(poller_, EPOLL_CTL_DEL, socket, nullptr);
        connections.erase(socket); // removes a partial file before the socket closes
        if (!accepting) {
            epoll_event listening{EPOLLIN, {.fd = listener_}};
            accepting = ::epoll_ctl(poller_, EPOLL_CTL_ADD, listener_, &listening) == 0;
        }
    };

    const auto acceptAll = [&] {
        for (;;) {
            const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (socket < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    // Out of descriptors: stop watching the listener (it would stay readable and
                    // spin) until a connection closes or a moment has passed.
                    ::epoll_ctl(poller_, EPOLL_CTL_DEL, listener_, nullptr);
                    accepting = false;
                }
                return;
            }
            auto connection = std::make_unique<Connection>(socket, downloadsFolder_, freeSpace_, notifier_, clipboard_);
            epoll_event readable{EPOLLIN, {.fd = socket}};
            if (::epoll_ctl(poller_, EPOLL_CTL_ADD, socket, &readable) != 0)
                continue; // the connection closes without a byte
            connections.emplace(socket, std::move(connection));
        }
    };

    epoll_event events[64];
    while (!stop.stop_requested()) {
        const int count = ::epoll_wait(poller_, events, std::size(events), accepting ? -1 : 100);
        if (count < 0 && errno != EINTR) {
            logLine(component,
                    QStringLiteral("Stopped receiving files (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
            break;
        }
        if (!accepting) {
            epoll_event listening{EPOLLIN, {.fd = listener_}};
            accepting = ::epoll_ctl(poller_, EPOLL_CTL_ADD, listener_, &listening) == 0;
        }
        for (int index = 0; index < count; ++index) {
            const int descriptor = events[index].data.fd;
            if (descriptor == wakeUp_)
                continue;
            if (descriptor == listener_) {
                acceptAll();
                continue;
            }
            const auto found = connections.find(descriptor);
            if (found != connections.end() && !serve(*found->second, buffer))
                closeConnection(descriptor);
        }
    }
    // Every unfinished transfer ends here; its session removes any partial file.
    connections.clear();
}

} // namespace lumarient
