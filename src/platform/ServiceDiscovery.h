#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>

namespace lumarient {

// One resolved address of an announced service.
struct ServiceAddress {
    // AF_INET or AF_INET6.
    int family = 0;
    // The address bytes in network order: 4 for IPv4, 16 for IPv6.
    QByteArray address;
    quint16 port = 0;
};

// What a running browse reports, always on the main thread.
class ServiceBrowsingEvents {
public:
    virtual ~ServiceBrowsingEvents() = default;

    virtual void serviceFound(const QString &name) = 0;
    virtual void serviceRemoved(const QString &name) = 0;
    virtual void serviceResolved(const QString &name, const QList<ServiceAddress> &addresses) = 0;
};

// One running browse for one service type. Destroying it stops the browse; no
// event arrives after that.
class ServiceBrowsing {
public:
    virtual ~ServiceBrowsing() = default;

    // Asks for the addresses of a found service. The answer, if any, comes as
    // serviceResolved; failures and time-outs are silent. A request for a name
    // whose resolution is still running is dropped.
    virtual void resolve(const QString &name, std::chrono::seconds timeout) = 0;
};

// Multicast DNS service discovery (Avahi on Linux).
class ServiceDiscovery {
public:
    virtual ~ServiceDiscovery() = default;

    // Starts browsing `type` (e.g. "_adb-tls-connect._tcp") in `domain`. `events`
    // must outlive the returned browse. Where discovery is unavailable the browse
    // is returned all the same and simply reports nothing.
    virtual std::unique_ptr<ServiceBrowsing> browse(const QString &type, const QString &domain,
                                                    ServiceBrowsingEvents &events) = 0;
};

} // namespace lumarient
