#pragma once

#include "platform/ServiceDiscovery.h"

#include <memory>

namespace lumarient {

class AvahiConnection;

// Service discovery through avahi-daemon. Each connection to the daemon runs its
// own Avahi event loop thread; events reach the browse's subscriber through the
// Qt event loop of the thread that started the browse (the main thread).
//
// When the daemon is not running, browse() logs one line and returns a browse
// that reports nothing; the next browse (after a network change) tries again.
class AvahiServiceDiscovery final : public ServiceDiscovery {
public:
    AvahiServiceDiscovery();
    ~AvahiServiceDiscovery() override;

    std::unique_ptr<ServiceBrowsing> browse(const QString &type, const QString &domain,
                                            ServiceBrowsingEvents &events) override;

private:
    std::shared_ptr<AvahiConnection> connection();

    std::shared_ptr<AvahiConnection> connection_;
    bool reportedUnavailable_ = false;
};

} // namespace lumarient
