#pragma once

#include <QProcessEnvironment>

namespace lumarient {

// The kind of desktop session the app runs in, decided once at start.
enum class SessionType { x11, wayland };

// Wayland when XDG_SESSION_TYPE says "wayland" or WAYLAND_DISPLAY is set, else
// X11. LUMARIENT_SESSION_TYPE set to "x11" or "wayland" overrides both (for a
// session that runs everything through XWayland, or for trying the Wayland
// limits on X11).
SessionType sessionTypeOf(const QProcessEnvironment &environment);

} // namespace lumarient
