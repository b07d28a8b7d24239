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
};

} // namespace lumarient
