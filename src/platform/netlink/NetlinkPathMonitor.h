#pragma once

#include "platform/FileDescriptor.h"
#include "platform/NetworkPathMonitor.h"
#include "platform/WorkerLoop.h"

#include <optional>

namespace lumarient {

// Watches links and IPv4 addresses through rtnetlink on a worker loop of its
// own ("lum-netlink"). Reports the path at start and again whenever a kernel
// notification leaves it different from the last one reported.
class NetlinkPathMonitor final : public NetworkPathMonitor {
public:
    NetlinkPathMonitor() = default;
    ~NetlinkPathMonitor() override;

    void start(OnUpdate onUpdate) override;

    // The current path, read with one link dump and one address dump; none when
    // rtnetlink cannot be read.
    static std::optional<NetworkPath> currentPath();

private:
    // On the loop: subscribe to the kernel's notifications and report the path.
    void watchKernel();
    void reportIfChanged();

    OnUpdate onUpdate_;
    FileDescriptor events_;
    std::optional<NetworkPath> reported_;
    bool started_ = false;
    WorkerLoop loop_{"lum-netlink"};
};

} // namespace lumarient
