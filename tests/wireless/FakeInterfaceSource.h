#pragma once

#include "platform/NetworkInterfaces.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>

namespace lumarient::test {

// Interfaces made up by a test; addresses are given as text.
class FakeInterfaceSource final : public InterfaceSource {
public:
    QList<InterfaceAddress> interfaces() const override { return list; }

    FakeInterfaceSource &ipv4(const QString &name, const char *address, unsigned flags = IFF_UP | IFF_RUNNING)
    {
        sockaddr_storage storage{};
        auto *inet = reinterpret_cast<sockaddr_in *>(&storage);
        inet->sin_family = AF_INET;
        inet_pton(AF_INET, address, &inet->sin_addr);
        list.append({name, flags, storage});
        return *this;
    }

    FakeInterfaceSource &ipv6(const QString &name, const char *address, unsigned flags = IFF_UP | IFF_RUNNING)
    {
        sockaddr_storage storage{};
        auto *inet = reinterpret_cast<sockaddr_in6 *>(&storage);
        inet->sin6_family = AF_INET6;
        inet_pton(AF_INET6, address, &inet->sin6_addr);
        list.append({name, flags, storage});
        return *this;
    }

    FakeInterfaceSource &withoutAddress(const QString &name, unsigned flags = IFF_UP)
    {
        list.append({name, flags, std::nullopt});
        return *this;
    }

    QList<InterfaceAddress> list;
};

} // namespace lumarient::test
