#include "app/SecondDisplayBackends.h"

#include "platform/Log.h"
#include "platform/x11/X11Pointer.h"

namespace lumarient {

SecondDisplayBackends::SecondDisplayBackends(UserDefaults &defaults, const ToolPaths &paths, const ADB &adb)
    : monitors_(&defaults), companion_(paths, adb), phone_(adb, companion_)
{
    if (const int removed = monitors_.removeLeftovers(); removed > 0) {
        logLine(QStringLiteral("Lumarient"),
                QStringLiteral("removed %1 virtual display(s) left by an earlier run").arg(removed));
    }
    SecondDisplayManager::Platform platform;
    platform.monitors = &monitors_;
    platform.streaming.captures = &captures_;
    platform.streaming.encoders = &encoders_;
    platform.streaming.makePointer = [] { return std::make_unique<x11::X11Pointer>(); };
    manager_ = std::make_unique<SecondDisplayManager>(platform, phone_);
}

} // namespace lumarient
