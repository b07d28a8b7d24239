#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace lumarient::test {

// A plain X client for tests: one override-redirect window at a given place of
// the screen that can be painted and that records the button presses it gets.
class X11TestWindow {
public:
    struct Click {
        int rootX = 0;
        int rootY = 0;
        bool press = true;
    };

    X11TestWindow(const char *displayName, int x, int y, int width, int height);
    ~X11TestWindow();
    X11TestWindow(const X11TestWindow &) = delete;
    X11TestWindow &operator=(const X11TestWindow &) = delete;

    bool isValid() const { return window_ != XCB_NONE; }
    // Fills a rectangle (window coordinates) with 0xRRGGBB.
    void fill(int x, int y, int width, int height, std::uint32_t rgb, bool waitForServer = true);
    // Paints the whole window with pseudo-random pixels (hard to compress).
    void paintNoise(std::uint32_t seed);
    // Waits until the server has handled everything sent so far.
    void sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }
    // Moves the pointer as the server's own request does (no motion is reported).
    void warpPointer(int rootX, int rootY);
    // Moves it as a device does (XTest), so motion is reported.
    void movePointer(int rootX, int rootY);
    // Button events received within `milliseconds`.
    std::vector<Click> clicks(int milliseconds);

private:
    xcb_connection_t *connection_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    xcb_window_t window_ = XCB_NONE;
    xcb_gcontext_t gc_ = XCB_NONE;
    int width_ = 0;
    int height_ = 0;
    std::vector<Click> clicks_;
};

} // namespace lumarient::test
