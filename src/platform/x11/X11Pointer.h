#pragma once

#include "platform/PointerDevice.h"

#include <cstdint>
#include <memory>

namespace lumarient::x11 {

class XcbConnection;

// The pointer through XQueryPointer, left-button events through XTest, and
// movements as XInput2 raw motion events (so an idle pointer costs no polling;
// warps make no raw events, so callers still look now and then).
class X11Pointer final : public PointerDevice {
public:
    explicit X11Pointer(const char *displayName = nullptr);
    ~X11Pointer() override;

    bool isValid() const;
    std::optional<PointerLocation> location() override;
    void post(MouseAction action, double x, double y) override;
    int motionDescriptor() const override;
    bool takeMotion() override;

private:
    void selectRawMotion();

    std::unique_ptr<XcbConnection> connection_;
    bool hasTest_ = false;
    bool reportsMotion_ = false;
    std::uint8_t inputOpcode_ = 0;
};

} // namespace lumarient::x11
