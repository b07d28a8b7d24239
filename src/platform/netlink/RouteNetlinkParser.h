#pragma once

#include "platform/NetworkPathMonitor.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>

namespace lumarient {

// Reads rtnetlink dump replies. Every length field is checked against the bytes
// actually received, so a short or garbled reply yields what could be read and
// never reads past the buffer.
namespace RouteNetlinkParser {

struct Link {
    int index = 0;
    QString name;
    unsigned flags = 0;
};

// RTM_NEWLINK messages of a link dump, in the order received.
QList<Link> links(const QByteArray &reply);
// Interface indexes that carry an IPv4 address other than link-local, from the
// RTM_NEWADDR messages of an address dump.
QList<int> interfacesWithIPv4(const QByteArray &reply);
// Whether `reply` ends a dump (NLMSG_DONE) or reports an error (NLMSG_ERROR).
bool endsDump(const QByteArray &reply);

// The path the links and addresses make: usable interfaces are up, running and
// not loopback; the path is satisfied when one of them has an IPv4 address.
NetworkPath path(const QList<Link> &links, const QList<int> &addressed);

} // namespace RouteNetlinkParser
} // namespace lumarient
