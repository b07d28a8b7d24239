#pragma once

#include "platform/DisplayRect.h"

#include <cstdint>
#include <memory>

namespace lumarient {

// One captured picture, 32-bit BGRA, valid until the next `grab`.
struct CapturedFrame {
    const std::uint8_t *bgra = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// Captures one display's rectangle, without the cursor. Used from one thread,
// which waits on `pollDescriptor` for the window system to report changes.
class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;

    virtual int pollDescriptor() const = 0;
    // The display's current bounds in global coordinates (followed as it moves).
    virtual DisplayRect bounds() const = 0;
    // Handles what arrived on the descriptor; true when the display's content
    // changed since the last grab (the first call after creation always says so).
    virtual bool contentChanged() = 0;
    // Nothing when the picture could not be read.
    virtual const CapturedFrame *grab() = 0;
};

class ScreenCaptureFactory {
public:
    virtual ~ScreenCaptureFactory() = default;
    // Nothing when the display is not among the capturable ones.
    virtual std::unique_ptr<ScreenCapture> open(std::uint32_t displayID) = 0;
};

} // namespace lumarient
