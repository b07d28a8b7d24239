#include "platform/x11/XcbConnection.h"

#include <xcb/randr.h>
#include <xcb/xcbext.h>

#include <sys/uio.h>

#include <algorithm>

namespace lumarient::x11 {

XcbConnection::XcbConnection(const char *displayName)
{
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(displayName, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        return;
    }
    connection_ = connection;
    root_ = screens.data->root;
}

XcbConnection::~XcbConnection()
{
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
    }
}

int XcbConnection::fileDescriptor() const
{
    return connection_ != nullptr ? xcb_get_file_descriptor(connection_) : -1;
}

bool XcbConnection::hasRandrMonitors()
{
    if (connection_ == nullptr) {
        return false;
    }
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection_, &xcb_randr_id);
    if (extension == nullptr || !extension->present) {
        return false;
    }
    XcbReply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(connection_, xcb_randr_query_version(connection_, 1, 5), nullptr));
    return version != nullptr &&
           (version->major_version > 1 || (version->major_version == 1 && version->minor_version >= 5));
}

std::vector<MonitorInfo> queryMonitors(XcbConnection &connection, bool activeOnly)
{
    std::vector<MonitorInfo> monitors;
    if (!connection.isValid()) {
        return monitors;
    }
    XcbReply<xcb_randr_get_monitors_reply_t> reply(xcb_randr_get_monitors_reply(
        connection.get(), xcb_randr_get_monitors(connection.get(), connection.root(), activeOnly ? 1 : 0), nullptr));
    if (reply == nullptr) {
        return monitors;
    }
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        monitors.push_back({it.data->name, DisplayRect{it.data->x, it.data->y, it.data->width, it.data->height}});
    }
    return monitors;
}

std::optional<MonitorInfo> findMonitor(XcbConnection &connection, xcb_atom_t name)
{
    for (const MonitorInfo &monitor : queryMonitors(connection)) {
        if (monitor.name == name) {
            return monitor;
        }
    }
    return std::nullopt;
}

xcb_atom_t internAtom(XcbConnection &connection, const QString &name, bool onlyIfExists)
{
    const QByteArray bytes = name.toUtf8();
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection.get(),
        xcb_intern_atom(connection.get(), onlyIfExists ? 1 : 0, std::uint16_t(bytes.size()), bytes.constData()),
        nullptr));
    return reply != nullptr ? reply->atom : XCB_NONE;
}

ScreenSize framebufferSize(XcbConnection &connection)
{
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection.get(), xcb_get_geometry(connection.get(), connection.root()), nullptr));
    if (geometry == nullptr) {
        return {};
    }
    return {geometry->width, geometry->height};
}

bool setFramebufferSize(XcbConnection &connection, int width, int height)
{
    const ScreenSize current = framebufferSize(connection);
    if (current.width == width && current.height == height) {
        return true;
    }
    // 96 pixels per inch, as the server reports for a framebuffer it sized itself.
    const auto millimeters = [](int pixels) { return std::uint32_t(std::max(1.0, pixels * 25.4 / 96.0 + 0.5)); };
    xcb_generic_error_t *error = xcb_request_check(
        connection.get(),
        xcb_randr_set_screen_size_checked(connection.get(), connection.root(), std::uint16_t(width),
                                          std::uint16_t(height), millimeters(width), millimeters(height)));
    const bool accepted = error == nullptr;
    std::free(error);
    return accepted;
}

bool setMonitorRequest(XcbConnection &connection, const xcb_randr_monitor_info_t &info, xcb_randr_output_t output)
{
    static const xcb_protocol_request_t request = {3, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
    xcb_randr_set_monitor_request_t header{};
    header.window = connection.root();
    xcb_randr_monitor_info_t body = info;
    body.nOutput = output != XCB_NONE ? 1 : 0;
    // xcb_send_request writes into the two entries before the ones it is given.
    iovec parts[5];
    parts[2].iov_base = &header;
    parts[2].iov_len = sizeof header;
    parts[3].iov_base = &body;
    parts[3].iov_len = sizeof body;
    parts[4].iov_base = &output;
    parts[4].iov_len = output != XCB_NONE ? sizeof output : 0;
    const xcb_void_cookie_t cookie = {xcb_send_request(connection.get(), XCB_REQUEST_CHECKED, parts + 2, &request)};
    xcb_generic_error_t *error = xcb_request_check(connection.get(), cookie);
    const bool accepted = error == nullptr && xcb_connection_has_error(connection.get()) == 0;
    std::free(error);
    return accepted;
}

} // namespace lumarient::x11
