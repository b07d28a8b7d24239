#include "platform/NetworkInterfaces.h"

#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstring>
#include <memory>

namespace lumarient {

QList<InterfaceAddress> SystemInterfaceSource::interfaces() const
{
    ifaddrs *first = nullptr;
    if (getifaddrs(&first) != 0)
        return {};
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(first, &freeifaddrs);

    QList<InterfaceAddress> list;
    for (const ifaddrs *entry = first; entry != nullptr; entry = entry->ifa_next) {
        InterfaceAddress item;
        item.name = QString::fromLocal8Bit(entry->ifa_name);
        item.flags = entry->ifa_flags;
        if (entry->ifa_addr != nullptr) {
            sockaddr_storage storage{};
            const std::size_t size = entry->ifa_addr->sa_family == AF_INET6  ? sizeof(sockaddr_in6)
                                     : entry->ifa_addr->sa_family == AF_INET ? sizeof(sockaddr_in)
                                                                             : sizeof(sockaddr);
            std::memcpy(&storage, entry->ifa_addr, size);
            item.address = storage;
        }
        list.append(item);
    }
    return list;
}

} // namespace lumarient
