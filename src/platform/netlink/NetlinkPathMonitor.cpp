#include "platform/netlink/NetlinkPathMonitor.h"

#include "platform/Log.h"
#include "platform/netlink/RouteNetlinkParser.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lumarient {
namespace {

// Sends one dump request and collects the reply until the kernel ends it.
std::optional<QByteArray> dump(uint16_t type, unsigned char family)
{
    const FileDescriptor socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (socket.get() < 0)
        return std::nullopt;
    struct {
        nlmsghdr header;
        rtgenmsg body;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtgenmsg));
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.rtgen_family = family;
    if (::send(socket.get(), &request, request.header.nlmsg_len, 0) < 0)
        return std::nullopt;

    QByteArray reply;
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (int reads = 0; reads < 1024; ++reads) {
        pollfd waiting{socket.get(), POLLIN, 0};
        if (::poll(&waiting, 1, 1000) <= 0)
            return std::nullopt;
        const ssize_t size = ::recv(socket.get(), chunk.data(), std::size_t(chunk.size()), 0);
        if (size <= 0)
            return std::nullopt;
        const QByteArray part = chunk.left(size);
        reply += part;
        if (RouteNetlinkParser::endsDump(part))
            return reply;
    }
    return std::nullopt;
}

} // namespace

NetlinkPathMonitor::~NetlinkPathMonitor()
{
    loop_.stop();
}

std::optional<NetworkPath> NetlinkPathMonitor::currentPath()
{
    const std::optional<QByteArray> links = dump(RTM_GETLINK, AF_UNSPEC);
    const std::optional<QByteArray> addresses = dump(RTM_GETADDR, AF_INET);
    if (!links || !addresses)
        return std::nullopt;
    return RouteNetlinkParser::path(RouteNetlinkParser::links(*links),
                                    RouteNetlinkParser::interfacesWithIPv4(*addresses));
}

void NetlinkPathMonitor::start(OnUpdate onUpdate)
{
    if (started_)
        return;
    started_ = true;
    onUpdate_ = std::move(onUpdate);
    loop_.post([this] { watchKernel(); });
    loop_.start();
}

void NetlinkPathMonitor::watchKernel()
{
    events_.reset(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
    if (!events_.isValid() || ::bind(events_.get(), reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        logLine(QStringLiteral("Lumarient"),
                QStringLiteral("cannot watch network changes: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    reportIfChanged();
    loop_.watch(events_.get(), WorkerLoop::readable,
                [this, buffer = QByteArray(64 * 1024, Qt::Uninitialized)](unsigned) mutable {
                    // Drain everything queued; an overflow (ENOBUFS) only means a re-read.
                    while (::recv(events_.get(), buffer.data(), std::size_t(buffer.size()), 0) > 0 ||
                           errno == ENOBUFS) {
                    }
                    reportIfChanged();
                });
}

// Reads the path after every batch of notifications (and once at start); the
// notifications themselves only say that something changed.
void NetlinkPathMonitor::reportIfChanged()
{
    if (const std::optional<NetworkPath> path = currentPath(); path && path != reported_) {
        reported_ = path;
        onUpdate_(*path);
    }
}

} // namespace lumarient
