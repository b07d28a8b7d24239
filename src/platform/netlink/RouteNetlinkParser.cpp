#include "platform/netlink/RouteNetlinkParser.h"

#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>

namespace lumarient::RouteNetlinkParser {
namespace {

// Calls `visit(header, payload, payloadSize)` for every whole message in `reply`.
template <typename Visit> void eachMessage(const QByteArray &reply, Visit visit)
{
    const char *data = reply.constData();
    std::size_t left = std::size_t(reply.size());
    while (left >= sizeof(nlmsghdr)) {
        nlmsghdr header;
        std::memcpy(&header, data, sizeof header);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > left)
            return;
        visit(header, data + NLMSG_HDRLEN, std::size_t(header.nlmsg_len) - NLMSG_HDRLEN);
        const std::size_t step = NLMSG_ALIGN(header.nlmsg_len);
        if (step >= left)
            return;
        data += step;
        left -= step;
    }
}

// Calls `visit(type, value, valueSize)` for every whole attribute.
template <typename Visit> void eachAttribute(const char *data, std::size_t size, Visit visit)
{
    while (size >= sizeof(rtattr)) {
        rtattr attribute;
        std::memcpy(&attribute, data, sizeof attribute);
        if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > size)
            return;
        visit(attribute.rta_type, data + RTA_LENGTH(0), std::size_t(attribute.rta_len) - RTA_LENGTH(0));
        const std::size_t step = RTA_ALIGN(attribute.rta_len);
        if (step >= size)
            return;
        data += step;
        size -= step;
    }
}

} // namespace

QList<Link> links(const QByteArray &reply)
{
    QList<Link> found;
    eachMessage(reply, [&](const nlmsghdr &header, const char *payload, std::size_t size) {
        if (header.nlmsg_type != RTM_NEWLINK || size < NLMSG_ALIGN(sizeof(ifinfomsg)))
            return;
        ifinfomsg info;
        std::memcpy(&info, payload, sizeof info);
        Link link{info.ifi_index, QString(), info.ifi_flags};
        eachAttribute(payload + NLMSG_ALIGN(sizeof info), size - NLMSG_ALIGN(sizeof info),
                      [&](unsigned short type, const char *value, std::size_t length) {
                          if (type == IFLA_IFNAME)
                              link.name = QString::fromUtf8(value, int(strnlen(value, length)));
                      });
        if (!link.name.isEmpty())
            found.append(link);
    });
    return found;
}

QList<int> interfacesWithIPv4(const QByteArray &reply)
{
    QList<int> found;
    eachMessage(reply, [&](const nlmsghdr &header, const char *payload, std::size_t size) {
        if (header.nlmsg_type != RTM_NEWADDR || size < NLMSG_ALIGN(sizeof(ifaddrmsg)))
            return;
        ifaddrmsg info;
        std::memcpy(&info, payload, sizeof info);
        if (info.ifa_family != AF_INET)
            return;
        bool usable = false;
        eachAttribute(payload + NLMSG_ALIGN(sizeof info), size - NLMSG_ALIGN(sizeof info),
                      [&](unsigned short type, const char *value, std::size_t length) {
                          if ((type != IFA_LOCAL && type != IFA_ADDRESS) || length != 4)
                              return;
                          const auto *bytes = reinterpret_cast<const unsigned char *>(value);
                          usable = usable || !(bytes[0] == 169 && bytes[1] == 254);
                      });
        if (usable && !found.contains(int(info.ifa_index)))
            found.append(int(info.ifa_index));
    });
    return found;
}

bool endsDump(const QByteArray &reply)
{
    bool ends = false;
    eachMessage(reply, [&](const nlmsghdr &header, const char *, std::size_t) {
        ends = ends || header.nlmsg_type == NLMSG_DONE || header.nlmsg_type == NLMSG_ERROR;
    });
    return ends;
}

NetworkPath path(const QList<Link> &links, const QList<int> &addressed)
{
    NetworkPath result;
    for (const Link &link : links) {
        if ((link.flags & (IFF_UP | IFF_RUNNING | IFF_LOOPBACK)) != (IFF_UP | IFF_RUNNING))
            continue;
        result.interfaces.append(link.name);
        if (addressed.contains(link.index))
            result.status = NetworkPath::Status::satisfied;
    }
    return result;
}

} // namespace lumarient::RouteNetlinkParser
