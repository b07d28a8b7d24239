#pragma once

#include "platform/PointerDevice.h"

#include <memory>

namespace lumarient::x11 {

class XcbConnection;

// The pointer through XQueryPointer, and left-button events through XTest.
class X11Pointer final : public PointerDevice {
public:
    explicit X11Pointer(const char *displayName = nullptr);
    ~X11Pointer() override;

    bool isValid() const;
    std::optional<PointerLocation> location() override;
    void post(MouseAction action, double x, double y) override;

private:
    std::unique_ptr<XcbConnection> connection_;
    bool hasTest_ = false;
};

} // namespace lumarient::x11
