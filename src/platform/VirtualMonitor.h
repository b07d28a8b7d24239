#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace lumarient {

struct VirtualMonitorRequest {
    QString name;
    int width = 0;
    int height = 0;
    double widthMillimeters = 0;
    double heightMillimeters = 0;
    std::uint32_t serialNumber = 0;
    double refreshRate = 60.0;
};

// A display that exists only in software. It exists exactly as long as this
// object: destroying it removes the display from the desktop.
class VirtualMonitor {
public:
    virtual ~VirtualMonitor() = default;
    // Stable and never 0.
    virtual std::uint32_t displayID() const = 0;
    // Moves the display to the right of the right-most other display, top edges level.
    virtual void placeAdjacentToOtherDisplays() = 0;
    // Moves the display's top-left corner to (x, y) in global coordinates;
    // false when the window system cannot put it there.
    virtual bool moveTo(int x, int y)
    {
        (void)x;
        (void)y;
        return false;
    }
};

class VirtualMonitorFactory {
public:
    virtual ~VirtualMonitorFactory() = default;
    // False when the window system has no virtual displays at all.
    virtual bool isAvailable() = 0;
    // Nothing when the window system cannot hold virtual displays or refuses this one.
    virtual std::unique_ptr<VirtualMonitor> create(const VirtualMonitorRequest &request) = 0;
    // Why the last `create` gave nothing, as a sentence for the user; empty when
    // the window system gave no reason.
    virtual QString lastFailure() const { return {}; }
};

} // namespace lumarient
