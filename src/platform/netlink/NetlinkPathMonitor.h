#pragma once

#include "platform/NetworkPathMonitor.h"

#include <mutex>
#include <optional>
#include <thread>

namespace lumarient {

// Watches links and IPv4 addresses through rtnetlink on a thread of its own
// ("Lumarient.pathMonitor"). Reports the path at start and again whenever a
// kernel notification leaves it different from the last one reported.
class NetlinkPathMonitor final : public NetworkPathMonitor {
public:
    NetlinkPathMonitor();
    ~NetlinkPathMonitor() override;

    void start(OnUpdate onUpdate) override;

    // The current path, read with one link dump and one address dump; none when
    // rtnetlink cannot be read.
    static std::optional<NetworkPath> currentPath();

private:
    void run(std::stop_token stop, OnUpdate onUpdate);

    int wakeFd_ = -1;
    std::jthread thread_;
};

} // namespace lumarient
