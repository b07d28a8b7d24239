#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace lumarient::test {
namespace {

sockaddr_in address(const QString &host, int port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(uint16_t(port));
    if (inet_pton(AF_INET, host.toLatin1().constData(), &result.sin_addr) != 1)
        throw std::runtime_error("bad test address");
    return result;
}

} // namespace

LoopbackListener::LoopbackListener(const QString &host, int port)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local = address(host, port);
    if (::bind(fd_, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 || ::listen(fd_, 128) != 0)
        throw std::runtime_error("cannot listen on " + host.toStdString());
    socklen_t size = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr *>(&local), &size);
    port_ = ntohs(local.sin_port);
}

LoopbackListener::~LoopbackListener()
{
    for (int filler : fillers_) {
        if (filler >= 0)
            ::close(filler);
    }
    ::close(fd_);
}

void LoopbackListener::stopAnswering()
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr *>(&local), &size);
    // With a backlog of 0 one finished handshake fills the queue; the next
    // attempt is the first one left unanswered. Nothing is ever accepted.
    ::listen(fd_, 0);
    for (int &filler : fillers_) {
        filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(filler, reinterpret_cast<sockaddr *>(&local), sizeof local);
        pollfd waiting{filler, POLLOUT, 0};
        if (::poll(&waiting, 1, 300) == 0)
            return;
    }
    throw std::runtime_error("the listener kept answering");
}

int refusedPort(const QString &host)
{
    // Bind, read the port, close: nothing listens there afterwards.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local = address(host, 0);
    ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
    socklen_t size = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &size);
    ::close(fd);
    return ntohs(local.sin_port);
}

} // namespace lumarient::test
