#pragma once

#include "platform/x11/XcbConnection.h"

#include <xcb/randr.h>

#include <QString>

#include <optional>

namespace lumarient::x11 {

// A virtual output of the video driver (the dummy driver's spare "DUMMY" outputs,
// the "VIRTUAL" outputs of others) driven by a free CRTC with a mode of our own.
// The server keeps the pointer inside the areas that CRTCs scan out, so a display
// that the pointer must reach needs one; a monitor alone is not enough.
struct OutputBinding {
    xcb_randr_output_t output = XCB_NONE;
    xcb_randr_crtc_t crtc = XCB_NONE;
    xcb_randr_mode_t mode = XCB_NONE;
};

// Nothing when the driver has no free virtual output or CRTC, or refuses the mode.
std::optional<OutputBinding> bindVirtualOutput(XcbConnection &connection, const QString &modeName,
                                               const DisplayRect &bounds, double refreshRate);
bool moveVirtualOutput(XcbConnection &connection, const OutputBinding &binding, int x, int y);
void releaseVirtualOutput(XcbConnection &connection, const OutputBinding &binding);
// Frees whatever output still shows the mode called `modeName`, and the mode.
void releaseVirtualOutputsNamed(XcbConnection &connection, const QString &modeName);

} // namespace lumarient::x11
