#pragma once

#include "platform/DisplayRect.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace lumarient {

// A point in global display coordinates (y grows downwards).
struct TapPoint {
    double x = 0;
    double y = 0;
    bool operator==(const TapPoint &) const = default;
};

// The desktop's keyboard and pointer as keyboard-and-mouse sharing sees them:
// every event of the user's session while watching, and exclusive use of
// both (a grab) while a phone is driven.
class InputTap {
public:
    // grabLost: the keyboard and pointer were taken back while grabbed (the
    // grab was broken); the tap no longer holds them.
    enum class EventType { motion, buttonDown, buttonUp, wheel, keyDown, keyUp, grabLost };
    enum class Button { left, right, middle, other };

    struct Event {
        EventType type = EventType::motion;
        // motion: relative movement in desktop pixels, and where the pointer
        // is, or, when it is held at the edge of the screen, where the push
        // would have taken it (which may lie outside every real display).
        double dx = 0;
        double dy = 0;
        TapPoint position;
        // buttonDown / buttonUp.
        Button button = Button::left;
        // wheel: steps in lines, fractional for high-resolution wheels;
        // positive wheel scrolls up, positive pan scrolls left.
        double wheel = 0;
        double pan = 0;
        // keyDown / keyUp: the evdev key code (X11 key code minus 8). An
        // auto-repeated key comes as another keyDown.
        unsigned keyCode = 0;
    };

    // Answers true when the event is consumed (while a phone is driven).
    using Handler = std::function<bool(const Event &)>;

    virtual ~InputTap() = default;

    // Starts delivering events to `handler`; false when the session's input
    // cannot be watched. Starting again replaces the handler.
    virtual bool start(Handler handler) = 0;
    virtual void stop() = 0;

    // The stand-in displays: areas the pointer cannot enter by itself, so a
    // push against a real display's side that borders one is reported as
    // motion whose position lies inside it.
    virtual void setStandIns(std::vector<DisplayRect> rects) = 0;

    // Takes (and gives back) the keyboard and pointer exclusively; false at
    // once when another client holds them. Releasing is always safe.
    virtual bool grab() = 0;
    virtual void release() = 0;

    virtual void warp(TapPoint to) = 0;
    virtual std::optional<TapPoint> cursorPosition() = 0;
    virtual void hideCursor() = 0;
    virtual void showCursor() = 0;
};

} // namespace lumarient
