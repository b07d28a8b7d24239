#pragma once

#include "platform/VirtualMonitor.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace lumarient {

// A display that exists only in software. It lives exactly as long as this
// object; destroying the last reference removes it from the desktop.
class VirtualDisplay {
public:
    // Nothing when virtual displays are not available or the window system
    // refuses this one (nothing is left behind then).
    static std::shared_ptr<VirtualDisplay> create(VirtualMonitorFactory &factory, const QString &name, int width,
                                                  int height, double refreshRate);

    // The physical size of a 121.9 pixels-per-inch panel.
    static double millimeters(int pixels) { return pixels / 121.9 * 25.4; }
    // The serial number the next created display gets (for tests).
    static std::uint32_t nextSerialNumber();

    std::uint32_t displayID() const { return displayID_; }
    int width() const { return width_; }
    int height() const { return height_; }
    std::uint32_t serialNumber() const { return serialNumber_; }

    void placeAdjacentToMainDisplay();
    // False when the window system cannot put the display there.
    bool moveTo(int x, int y);

private:
    VirtualDisplay(std::unique_ptr<VirtualMonitor> handle, int width, int height, std::uint32_t serialNumber);

    std::uint32_t displayID_;
    int width_;
    int height_;
    std::uint32_t serialNumber_;
    std::unique_ptr<VirtualMonitor> handle_;
};

} // namespace lumarient
