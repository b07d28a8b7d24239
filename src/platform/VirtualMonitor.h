#pragma once

#include "platform/Cancellation.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace lumarient {

// One caller's hold on a `create` that may wait for the user (a permission
// dialog): another thread may cancel it, and the factory then gives up soon,
// leaving nothing behind. The factory notes here why it gave nothing.
class VirtualMonitorAttempt : public Cancellation {
public:
    void setFailure(QString text)
    {
        std::lock_guard lock(mutex_);
        failure_ = std::move(text);
    }
    // A sentence for the user; empty when the window system gave no reason.
    QString failure() const
    {
        std::lock_guard lock(mutex_);
        return failure_;
    }

private:
    mutable std::mutex mutex_;
    QString failure_;
};

struct VirtualMonitorRequest {
    QString name;
    int width = 0;
    int height = 0;
    double widthMillimeters = 0;
    double heightMillimeters = 0;
    std::uint32_t serialNumber = 0;
    double refreshRate = 60.0;
    // May be null: the create then cannot be cancelled and gives no reason.
    std::shared_ptr<VirtualMonitorAttempt> attempt;
};

// A display that exists only in software. It exists exactly as long as this
// object: destroying it removes the display from the desktop. Used by one
// thread at a time; may be destroyed on any thread.
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
    // `ended` runs once when the desktop ends the display by itself (the user
    // stopped sharing it), never because this object went. It runs on a thread
    // of the backend's, or at once when the display has already ended; never
    // after this object is gone or another handler replaced it. Window systems
    // that never end a display by themselves ignore it.
    virtual void setEndedHandler(std::function<void()> ended) { (void)ended; }
};

// Threads: `isAvailable` and `create` may run on any thread, also while other
// threads create, move or destroy monitors of the same factory; backends guard
// what those share. The factory outlives every monitor it made.
class VirtualMonitorFactory {
public:
    virtual ~VirtualMonitorFactory() = default;
    // False when the window system has no virtual displays at all.
    virtual bool isAvailable() = 0;
    // Nothing when the window system cannot hold virtual displays, refuses this
    // one or the request's attempt was cancelled. May wait for the user.
    virtual std::unique_ptr<VirtualMonitor> create(const VirtualMonitorRequest &request) = 0;
};

} // namespace lumarient
