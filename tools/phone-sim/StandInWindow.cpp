#include "StandInWindow.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace phonesim {

struct StandInWindow::Connection {
    xcb_connection_t *connection = nullptr;
    xcb_window_t window = XCB_NONE;
};

namespace {

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return result;
}

} // namespace

StandInWindow::StandInWindow(const std::string &title, int width, int height) : x_(std::make_unique<Connection>())
{
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display)
        return;
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    x_->connection = c;
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    // Fit into most of the screen, keeping the shape, as scrcpy sizes its window.
    const double fit = std::min({1.0, 0.8 * screen->width_in_pixels / std::max(width, 1),
                                 0.8 * screen->height_in_pixels / std::max(height, 1)});
    const auto w = std::uint16_t(std::clamp(int(width * fit), 200, 4096));
    const auto h = std::uint16_t(std::clamp(int(height * fit), 200, 4096));

    x_->window = xcb_generate_id(c);
    const std::uint32_t background = screen->black_pixel;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, x_->window, screen->root, 40, 40, w, h, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL, &background);
    const std::uint32_t pid = std::uint32_t(::getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, x_->window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, x_->window, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), 8,
                        std::uint32_t(title.size()), title.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, x_->window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        std::uint32_t(title.size()), title.data());
    static const char windowClass[] = "scrcpy\0scrcpy";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, x_->window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, sizeof windowClass,
                        windowClass);
    xcb_flush(c);
}

StandInWindow::~StandInWindow()
{
    if (x_->connection)
        xcb_disconnect(x_->connection);
}

bool StandInWindow::isOpen() const
{
    return x_->connection && !xcb_connection_has_error(x_->connection);
}

void StandInWindow::show()
{
    if (!isOpen())
        return;
    xcb_map_window(x_->connection, x_->window);
    xcb_flush(x_->connection);
}

} // namespace phonesim
