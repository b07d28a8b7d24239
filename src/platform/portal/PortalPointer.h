#pragma once

#include "platform/PointerDevice.h"

#include <memory>

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

private:
    std::shared_ptr<ScreenCastSession> session_;
};

} // namespace lumarient::portal
