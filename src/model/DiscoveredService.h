#pragma once

#include <QList>
#include <QString>

namespace lumarient {

// A phone's announced, resolved wireless-debugging service. Identified by `id`.
struct DiscoveredService {
    // The service instance name.
    QString id;
    // The same text as `id`.
    QString name;
    // The first IPv4 address of the service, dotted decimal.
    QString host;
    // The port of that same resolved address.
    int port = 0;

    bool operator==(const DiscoveredService &) const = default;
};

} // namespace lumarient
