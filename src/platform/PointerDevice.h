#pragma once

#include <optional>

namespace lumarient {

enum class MouseAction { leftDown, leftUp, leftDragged };

struct PointerLocation {
    double x = 0;
    double y = 0;
};

// The desktop pointer: where it is, and synthetic left-button events. Safe to
// use from the thread that made it only.
class PointerDevice {
public:
    virtual ~PointerDevice() = default;
    // In global display coordinates; nothing when it cannot be read.
    virtual std::optional<PointerLocation> location() = 0;
    virtual void post(MouseAction action, double x, double y) = 0;

    // A descriptor that becomes readable when the pointer moves, or -1 when
    // movements are not reported (the caller then polls `location`).
    virtual int motionDescriptor() const { return -1; }
    // True when the pointer may have moved since the last call.
    virtual bool takeMotion() { return true; }
};

} // namespace lumarient
