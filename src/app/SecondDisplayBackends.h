#pragma once

#include "display/SecondDisplayManager.h"
#include "display/SecondDisplayPhone.h"
#include "platform/libav/LibavVideoEncoder.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11VirtualMonitors.h"
#include "tooling/Companion.h"

#include <memory>

namespace lumarient {

class ADB;
class ToolPaths;
class UserDefaults;

// The second display on X11: virtual displays as RandR monitors, XShm capture,
// H.264 through libavcodec, the pointer through XTest, the phone through adb.
// Made once, at start, when it also removes displays that an earlier run left
// behind.
class SecondDisplayBackends {
public:
    SecondDisplayBackends(UserDefaults &defaults, const ToolPaths &paths, const ADB &adb);

    SecondDisplayManager &manager() { return *manager_; }

private:
    x11::X11VirtualMonitorFactory monitors_;
    x11::X11ScreenCaptureFactory captures_;
    libav::LibavVideoEncoderFactory encoders_;
    Companion companion_;
    AdbSecondDisplayPhone phone_;
    std::unique_ptr<SecondDisplayManager> manager_;
};

} // namespace lumarient
