#pragma once

#include "platform/InputTap.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <optional>

namespace lumarient::test {

// Another client of a test's X server: it moves the pointer and types as a
// device would (XTest), and grabs as a menu, a drag or a screen locker would.
// Every call waits until the server has handled it.
class XTestClient {
public:
    explicit XTestClient(const char *displayName);
    ~XTestClient() { xcb_disconnect(connection_); }
    XTestClient(const XTestClient &) = delete;
    XTestClient &operator=(const XTestClient &) = delete;

    // As the server's own request does (no motion is reported).
    void warp(int x, int y);
    // Relative motion, which meets pointer barriers as a mouse does.
    void move(int dx, int dy);
    // Absolute motion, as tablets and virtual machines move the pointer; it
    // passes pointer barriers without a word.
    void moveTo(int x, int y);
    // A key (X key code) or button press or release.
    void fake(std::uint8_t type, std::uint8_t detail);
    void press(std::uint8_t keyCode) { fake(XCB_KEY_PRESS, keyCode); }
    void releaseKey(std::uint8_t keyCode) { fake(XCB_KEY_RELEASE, keyCode); }

    std::optional<TapPoint> pointer();
    // The grab's status (XCB_GRAB_STATUS_...).
    std::uint8_t grabPointer();
    std::uint8_t grabKeyboard();
    void ungrab();
    void unmap(xcb_window_t window);
    void sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

private:
    xcb_connection_t *connection_;
    xcb_window_t root_ = XCB_NONE;
};

} // namespace lumarient::test
