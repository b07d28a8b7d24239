#include "support/X11TestWindow.h"

#include <xcb/xtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace lumarient::test {

X11TestWindow::X11TestWindow(const char *displayName, int x, int y, int width, int height)
    : width_(width), height_(height)
{
    connection_ = xcb_connect(displayName, nullptr);
    if (xcb_connection_has_error(connection_)) {
        return;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    root_ = screen->root;
    const xcb_window_t window = xcb_generate_id(connection_);
    const std::uint32_t values[] = {screen->black_pixel, 1,
                                    XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, std::int16_t(x), std::int16_t(y),
                      std::uint16_t(width), std::uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(connection_, window);
    gc_ = xcb_generate_id(connection_);
    xcb_create_gc(connection_, gc_, window, 0, nullptr);
    window_ = window;
    sync();
}

X11TestWindow::~X11TestWindow()
{
    if (window_ != XCB_NONE) {
        xcb_free_gc(connection_, gc_);
        xcb_destroy_window(connection_, window_);
        xcb_flush(connection_);
    }
    xcb_disconnect(connection_);
}

void X11TestWindow::fill(int x, int y, int width, int height, std::uint32_t rgb, bool waitForServer)
{
    const std::uint32_t foreground[] = {rgb};
    xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, foreground);
    const xcb_rectangle_t rectangle{std::int16_t(x), std::int16_t(y), std::uint16_t(width), std::uint16_t(height)};
    xcb_poly_fill_rectangle(connection_, window_, gc_, 1, &rectangle);
    if (waitForServer) {
        sync();
    }
}

void X11TestWindow::paintNoise(std::uint32_t seed)
{
    // In strips, to stay below the request size limit.
    const int stripHeight = 32;
    std::vector<std::uint32_t> pixels(std::size_t(width_) * stripHeight);
    std::uint32_t state = seed * 2654435761u + 1;
    for (int top = 0; top < height_; top += stripHeight) {
        const int rows = std::min(stripHeight, height_ - top);
        for (std::size_t i = 0; i < std::size_t(width_) * rows; ++i) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            pixels[i] = state & 0xFFFFFF;
        }
        xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_, std::uint16_t(width_), std::uint16_t(rows),
                      0, std::int16_t(top), 0, 24, std::uint32_t(width_ * rows * 4),
                      reinterpret_cast<const std::uint8_t *>(pixels.data()));
    }
    sync();
}

void X11TestWindow::warpPointer(int rootX, int rootY)
{
    xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0, std::int16_t(rootX), std::int16_t(rootY));
    sync();
}

void X11TestWindow::movePointer(int rootX, int rootY)
{
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, std::int16_t(rootX),
                        std::int16_t(rootY), 0);
    sync();
}

std::vector<X11TestWindow::Click> X11TestWindow::clicks(int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection_)) {
            const std::uint8_t type = event->response_type & 0x7F;
            if (type == XCB_BUTTON_PRESS || type == XCB_BUTTON_RELEASE) {
                const auto *button = reinterpret_cast<xcb_button_press_event_t *>(event);
                clicks_.push_back({button->root_x, button->root_y, type == XCB_BUTTON_PRESS});
            }
            std::free(event);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return clicks_;
}

} // namespace lumarient::test
