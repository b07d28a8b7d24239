#include "support/XTestClient.h"

#include <xcb/xtest.h>

#include <cstdlib>

namespace lumarient::test {

XTestClient::XTestClient(const char *displayName) : connection_(xcb_connect(displayName, nullptr))
{
    if (xcb_connection_has_error(connection_) == 0)
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
}

void XTestClient::warp(int x, int y)
{
    xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0, std::int16_t(x), std::int16_t(y));
    sync();
}

void XTestClient::move(int dx, int dy)
{
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 1, XCB_CURRENT_TIME, XCB_NONE, std::int16_t(dx),
                        std::int16_t(dy), 0);
    sync();
}

void XTestClient::moveTo(int x, int y)
{
    xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, std::int16_t(x), std::int16_t(y),
                        0);
    sync();
}

void XTestClient::fake(std::uint8_t type, std::uint8_t detail)
{
    xcb_test_fake_input(connection_, type, detail, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

std::optional<TapPoint> XTestClient::pointer()
{
    xcb_query_pointer_reply_t *reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    if (reply == nullptr)
        return std::nullopt;
    const TapPoint point{double(reply->root_x), double(reply->root_y)};
    std::free(reply);
    return point;
}

std::uint8_t XTestClient::grabPointer()
{
    xcb_grab_pointer_reply_t *reply =
        xcb_grab_pointer_reply(connection_,
                               xcb_grab_pointer(connection_, 0, root_, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                                XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                               nullptr);
    const std::uint8_t status = reply != nullptr ? reply->status : 0xFF;
    std::free(reply);
    return status;
}

std::uint8_t XTestClient::grabKeyboard()
{
    xcb_grab_keyboard_reply_t *reply = xcb_grab_keyboard_reply(
        connection_,
        xcb_grab_keyboard(connection_, 0, root_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr);
    const std::uint8_t status = reply != nullptr ? reply->status : 0xFF;
    std::free(reply);
    return status;
}

void XTestClient::ungrab()
{
    xcb_ungrab_pointer(connection_, XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
    sync();
}

void XTestClient::unmap(xcb_window_t window)
{
    xcb_unmap_window(connection_, window);
    sync();
}

} // namespace lumarient::test
