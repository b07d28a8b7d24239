#pragma once

#include <QList>
#include <QString>

#include <sys/socket.h>

#include <optional>

namespace lumarient {

// One address of one network interface, as getifaddrs lists it.
struct InterfaceAddress {
    QString name;
    // IFF_* flags of the interface.
    unsigned flags = 0;
    // None for entries without an address (getifaddrs lists those too).
    std::optional<sockaddr_storage> address;
};

// Where the computer's interfaces come from. The LAN scanner takes one so that
// tests can hand it loopback addresses under any interface name.
class InterfaceSource {
public:
    virtual ~InterfaceSource() = default;

    // The interfaces in the order the system lists them.
    virtual QList<InterfaceAddress> interfaces() const = 0;
};

// The real list, read with getifaddrs.
class SystemInterfaceSource final : public InterfaceSource {
public:
    QList<InterfaceAddress> interfaces() const override;
};

} // namespace lumarient
