#pragma once

#include "platform/ScreenCapture.h"

#include <QByteArray>

namespace lumarient::x11 {

// Captures RandR monitors through shared memory (XShm). XDamage reports which
// parts of the screen changed, so a display whose content stays the same costs
// no capture at all. The server leaves the cursor out of the picture.
class X11ScreenCaptureFactory final : public ScreenCaptureFactory {
public:
    explicit X11ScreenCaptureFactory(const char *displayName = nullptr);
    std::unique_ptr<ScreenCapture> open(std::uint32_t displayID) override;

private:
    QByteArray displayName_;
};

} // namespace lumarient::x11
