#pragma once

#include "platform/FileDescriptor.h"
#include "platform/PointerDevice.h"

#include <memory>

#include <sys/eventfd.h>

namespace lumarient::portal {

class ScreenCastSession;

// Left-button events into a portal session's virtual monitor, in the stream's
// own coordinates. Where the pointer is stays unknown: the stream draws the
// cursor into the picture itself.
class PortalPointer final : public PointerDevice {
public:
    // A null session takes events and drops them.
    explicit PortalPointer(std::shared_ptr<ScreenCastSession> session) : session_(std::move(session)) {}

    std::optional<PointerLocation> location() override { return std::nullopt; }
    void post(MouseAction action, double x, double y) override;

    // The position is never known here, so no motion is ever reported: a
    // descriptor that stays quiet spares the reader polling for it.
    int motionDescriptor() const override { return quiet_.get(); }
    bool takeMotion() override { return false; }

private:
    std::shared_ptr<ScreenCastSession> session_;
    FileDescriptor quiet_{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
};

} // namespace lumarient::portal
