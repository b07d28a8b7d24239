#pragma once

#include "platform/VirtualMonitor.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace lumarient {

// A display that exists only in software. It lives exactly as long as this
// object; destroying the last reference removes it from the desktop.
class VirtualDisplay {
public:
    // Nothing when virtual displays are not available, the window system
    // refuses this one or `attempt` was cancelled (nothing is left behind then).
    // May wait for the user; `attempt` lets another thread end that wait.
    static std::shared_ptr<VirtualDisplay> create(VirtualMonitorFactory &factory, const QString &name, int width,
                                                  int height, double refreshRate,
                                                  std::shared_ptr<VirtualMonitorAttempt> attempt = nullptr);

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
    // `ended` runs (on another thread) when the desktop ends the display by itself.
    void setEndedHandler(std::function<void()> ended);

private:
    VirtualDisplay(std::unique_ptr<VirtualMonitor> handle, int width, int height, std::uint32_t serialNumber);

    std::uint32_t displayID_;
    int width_;
    int height_;
    std::uint32_t serialNumber_;
    std::unique_ptr<VirtualMonitor> handle_;
};

} // namespace lumarient
