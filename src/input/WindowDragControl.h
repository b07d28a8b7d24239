#pragma once

#include <QString>

#include <optional>

namespace lumarient {

// Dragging phone app windows to the desktop, which runs while the keyboard and
// mouse drive a phone. Implemented above this layer; the keyboard and mouse
// sharing only switches it and tells it where the cursor is.
class WindowDragControl {
public:
    virtual ~WindowDragControl() = default;

    // Starts watching the phone's windows for drags.
    virtual void enableDrag(const QString &serial) = 0;
    // Stops watching; `synchronously` when the app is quitting.
    virtual void disableDrag(bool synchronously) = 0;
    // The phone being watched, if any.
    virtual std::optional<QString> watcherSerial() const = 0;
    // The edge of the watched phone's screen the cursor touches ("left",
    // "right", "top", "bottom"), or none.
    virtual void setCursorEdge(const std::optional<QString> &edge) = 0;
};

} // namespace lumarient
