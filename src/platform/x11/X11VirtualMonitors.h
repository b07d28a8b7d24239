#pragma once

#include "platform/VirtualMonitor.h"

#include <memory>

namespace lumarient {
class UserDefaults;
}

namespace lumarient::x11 {

struct MonitorBook;

// Virtual displays as RandR 1.5 monitors: each one gets a rectangle of a
// framebuffer grown to hold it, to the right of the right-most display, and is
// removed (and the framebuffer shrunk back) when its object goes. User monitors
// outlive the client that made them, so every created monitor's name is written
// to the settings and a later run removes what a crashed one left behind.
// Any thread: the factory and its monitors take turns on one lock.
class X11VirtualMonitorFactory final : public VirtualMonitorFactory {
public:
    // The settings key listing monitors this application made and has not yet removed.
    static constexpr const char *createdMonitorsKey = "virtualDisplayMonitors";

    // `defaults` may be null (nothing is remembered then).
    explicit X11VirtualMonitorFactory(UserDefaults *defaults, const char *displayName = nullptr);
    ~X11VirtualMonitorFactory() override;

    bool isAvailable() override;
    std::unique_ptr<VirtualMonitor> create(const VirtualMonitorRequest &request) override;
    // Removes monitors that an earlier run made and never removed. Returns how many.
    int removeLeftovers();

private:
    std::shared_ptr<MonitorBook> book_;
};

} // namespace lumarient::x11
