#include "transfer/FileReceiver.h"

#include "platform/FileDescriptor.h"
#include "platform/Log.h"
#include "platform/WorkerLoop.h"
#include "transfer/TextBudget.h"
#include "transfer/TransferDelivery.h"
#include "transfer/TransferSession.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace lumarient {

namespace {

const QString component = QStringLiteral("FileReceiver");
using Clock = WorkerLoop::Clock;

// One accepted connection. The delivery outlives the session that writes into it.
struct Connection {
    Connection(int socket, const QString &folder, const DownloadsFile::FreeSpace &freeSpace, Notifier &notifier,
               Clipboard &clipboard, TextBudget &textBudget)
        : socket(socket), delivery(folder, freeSpace, notifier, clipboard), session(delivery, &textBudget)
    {
    }

    // Declared first so it closes last, after the session has removed any partial file.
    FileDescriptor socket;
    TransferDelivery delivery;
    TransferSession session;
    WorkerLoop::WatchId watch = 0;
    WorkerLoop::TimerId idleTimer = 0;
    Clock::time_point lastHeard = Clock::now();
};

// Reads from a readable connection and carries out what the session asks. A busy
// connection gets a few reads per turn, which saves a wait for readiness per read
// without starving the others. Returns false when the connection is over.
bool serve(Connection &connection, std::vector<char> &buffer)
{
    constexpr int readsPerTurn = 8;
    for (int turn = 0; turn < readsPerTurn; ++turn) {
        const std::size_t wanted = std::min(connection.session.wanted(), buffer.size());
        const ssize_t received = ::recv(connection.socket.get(), buffer.data(), wanted, 0);
        TransferSession::Step step;
        if (received > 0) {
            connection.lastHeard = Clock::now();
            step = connection.session.receive(buffer.data(), std::size_t(received));
        } else if (received == 0)
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
            return ::send(connection.socket.get(), &acknowledgement, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1;
        }
        case TransferSession::Step::close:
            return false;
        }
    }
    return true;
}

} // namespace

// The listener and its connections. Set up on the caller's thread before the
// loop starts; afterwards touched only on the loop.
struct FileReceiver::Listening {
    Listening(const FileReceiver &receiver, FileDescriptor socket) : receiver(receiver), listener(std::move(socket)) {}

    // False when the listener cannot be watched.
    bool begin()
    {
        listenerWatch = loop.watch(listener.get(), WorkerLoop::readable, [this](unsigned) { acceptAll(); });
        if (listenerWatch == 0)
            return false;
        loop.start();
        return true;
    }

    // Ends every unfinished transfer (its session removes any partial file) and the loop.
    void end()
    {
        loop.post([this] { connections.clear(); });
        loop.stop();
    }

    void acceptAll()
    {
        for (;;) {
            if (connections.size() >= receiver.limits_.maximumConnections)
                return holdBack();
            const int socket = ::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (socket < 0) {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                    pauseAccepting();
                return;
            }
            auto connection = std::make_unique<Connection>(socket, receiver.downloadsFolder_, receiver.freeSpace_,
                                                           receiver.notifier_, receiver.clipboard_, textBudget);
            connection->watch = loop.watch(socket, WorkerLoop::readable, [this, socket](unsigned) {
                const auto found = connections.find(socket);
                if (found != connections.end() && !serve(*found->second, buffer))
                    close(found);
            });
            if (connection->watch == 0)
                continue; // the connection closes without a byte
            connection->idleTimer = watchForSilence(socket, receiver.limits_.idleTimeout);
            connections.emplace(socket, std::move(connection));
        }
    }

    // One timer per connection, moved on only when it fires, so a busy connection
    // costs nothing per read.
    WorkerLoop::TimerId watchForSilence(int socket, Clock::duration delay)
    {
        return loop.after(delay, [this, socket] {
            const auto found = connections.find(socket);
            if (found == connections.end())
                return;
            const Clock::duration quiet = Clock::now() - found->second->lastHeard;
            if (quiet >= receiver.limits_.idleTimeout)
                return close(found);
            found->second->idleTimer = watchForSilence(socket, receiver.limits_.idleTimeout - quiet);
        });
    }

    void close(std::map<int, std::unique_ptr<Connection>>::iterator connection)
    {
        loop.remove(connection->second->watch);
        loop.cancel(connection->second->idleTimer);
        connections.erase(connection);
        resumeAccepting();
    }

    // As many connections as allowed: leave the rest in the listen queue, where they
    // cost no descriptor, until one ends.
    void holdBack()
    {
        loop.modify(listenerWatch, 0);
        if (!heldBackBefore)
            logLine(component, QStringLiteral("Serving %1 connections; further ones wait until one ends")
                                   .arg(receiver.limits_.maximumConnections));
        heldBackBefore = true;
    }

    // Out of descriptors: stop watching the listener (it would stay readable and
    // spin) until a connection closes or a moment has passed.
    void pauseAccepting()
    {
        loop.modify(listenerWatch, 0);
        if (retry == 0)
            retry = loop.after(std::chrono::milliseconds(100), [this] {
                retry = 0;
                resumeAccepting();
            });
    }

    void resumeAccepting()
    {
        loop.cancel(retry);
        retry = 0;
        loop.modify(listenerWatch, WorkerLoop::readable);
    }

    const FileReceiver &receiver;
    FileDescriptor listener;
    // Before the connections, whose sessions give their texts' bytes back to it.
    TextBudget textBudget{receiver.limits_.textBudget};
    std::map<int, std::unique_ptr<Connection>> connections;
    std::vector<char> buffer = std::vector<char>(transferLimits::fileReadStep);
    WorkerLoop::WatchId listenerWatch = 0;
    WorkerLoop::TimerId retry = 0;
    bool heldBackBefore = false;
    // Last, so the loop has ended before anything it uses goes.
    WorkerLoop loop{"lum-receiver"};
};

FileReceiver::FileReceiver(QString downloadsFolder, Notifier &notifier, Clipboard &clipboard, std::uint16_t port,
                           DownloadsFile::FreeSpace freeSpace, FileReceiverLimits limits)
    : downloadsFolder_(std::move(downloadsFolder)), notifier_(notifier), clipboard_(clipboard), requestedPort_(port),
      freeSpace_(std::move(freeSpace)), limits_(limits)
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
        listening_.reset();
        boundPort_ = 0;
    };

    FileDescriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener.isValid())
        return giveUp("listen on");
    // Lets a restarted app take the port back while old connections linger in TIME_WAIT;
    // a second listener is still refused.
    const int on = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(requestedPort_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return giveUp("bind");
    if (::listen(listener.get(), SOMAXCONN) != 0)
        return giveUp("listen on");
    socklen_t length = sizeof address;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr *>(&address), &length);
    boundPort_ = ntohs(address.sin_port);

    listening_ = std::make_unique<Listening>(*this, std::move(listener));
    if (!listening_->begin())
        return giveUp("watch");
}

void FileReceiver::stop()
{
    if (!isListening())
        return;
    listening_->end();
    listening_.reset();
    boundPort_ = 0;
}

} // namespace lumarient
