#pragma once

#include "platform/DisplayRect.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace lumarient {

// One window the desktop shows.
struct WindowInfo {
    // The desktop's own handle of the window (an X11 window id).
    std::uint32_t id = 0;
    // The process that owns it; 0 when unknown.
    std::int32_t pid = 0;
    std::optional<QString> name;
    // Where it is, frame included, in global display coordinates.
    DisplayRect bounds;

    bool operator==(const WindowInfo &) const = default;
};

// The desktop's windows as its window manager keeps them.
class WindowList {
public:
    virtual ~WindowList() = default;

    // The windows on screen, front to back; none when the list cannot be had.
    virtual std::optional<QList<WindowInfo>> onScreenWindows() = 0;
    // The window that has the focus, if any.
    virtual std::optional<std::uint32_t> activeWindow() = 0;
    // Raises and focuses the window; false when it has gone.
    virtual bool activate(std::uint32_t id) = 0;
    // Hides (iconifies) the window; false when it has gone or cannot be hidden.
    virtual bool minimize(std::uint32_t id)
    {
        (void)id;
        return false;
    }
    // Calls `changed` on the main thread whenever the list of windows or the
    // active window changes (without polling), until `changed` is replaced.
    virtual void onChanged(std::function<void()> changed) = 0;
};

} // namespace lumarient
