#include "platform/x11/X11Pointer.h"

#include "platform/x11/XcbConnection.h"

#include <xcb/xinput.h>
#include <xcb/xtest.h>

#include <cmath>

namespace lumarient::x11 {

X11Pointer::X11Pointer(const char *displayName) : connection_(std::make_unique<XcbConnection>(displayName))
{
    if (connection_->isValid()) {
        const auto *test = xcb_get_extension_data(connection_->get(), &xcb_test_id);
        hasTest_ = test != nullptr && test->present;
        selectRawMotion();
    }
}

void X11Pointer::selectRawMotion()
{
    xcb_connection_t *c = connection_->get();
    const auto *input = xcb_get_extension_data(c, &xcb_input_id);
    if (input == nullptr || !input->present) {
        return;
    }
    XcbReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 0), nullptr));
    if (version == nullptr || version->major_version < 2) {
        return;
    }
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_MOTION};
    xcb_generic_error_t *error =
        xcb_request_check(c, xcb_input_xi_select_events_checked(c, connection_->root(), 1, &selection.header));
    reportsMotion_ = error == nullptr;
    std::free(error);
    inputOpcode_ = input->major_opcode;
}

int X11Pointer::motionDescriptor() const
{
    return reportsMotion_ ? connection_->fileDescriptor() : -1;
}

bool X11Pointer::takeMotion()
{
    if (!reportsMotion_) {
        return true;
    }
    bool moved = false;
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(connection_->get())}) {
        if ((event->response_type & 0x7F) == XCB_GE_GENERIC &&
            reinterpret_cast<xcb_ge_generic_event_t *>(event.get())->extension == inputOpcode_) {
            moved = true;
        }
    }
    return moved;
}

X11Pointer::~X11Pointer() = default;

bool X11Pointer::isValid() const
{
    return connection_->isValid();
}

std::optional<PointerLocation> X11Pointer::location()
{
    if (!connection_->isValid()) {
        return std::nullopt;
    }
    xcb_connection_t *c = connection_->get();
    XcbReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_->root()), nullptr));
    if (reply == nullptr || !reply->same_screen) {
        return std::nullopt;
    }
    return PointerLocation{double(reply->root_x), double(reply->root_y)};
}

void X11Pointer::post(MouseAction action, double x, double y)
{
    if (!hasTest_) {
        return;
    }
    xcb_connection_t *c = connection_->get();
    const auto px = std::int16_t(std::lround(x));
    const auto py = std::int16_t(std::lround(y));
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, connection_->root(), px, py, 0);
    if (action == MouseAction::leftDown) {
        xcb_test_fake_input(c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    } else if (action == MouseAction::leftUp) {
        xcb_test_fake_input(c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    xcb_flush(c);
}

} // namespace lumarient::x11
