#include "platform/x11/X11VirtualOutputs.h"

#include <cstring>
#include <vector>

namespace lumarient::x11 {

namespace {

bool succeeds(xcb_connection_t *c, xcb_void_cookie_t cookie)
{
    xcb_generic_error_t *error = xcb_request_check(c, cookie);
    const bool succeeded = error == nullptr;
    std::free(error);
    return succeeded;
}

XcbReply<xcb_randr_get_screen_resources_current_reply_t> resources(XcbConnection &connection)
{
    return XcbReply<xcb_randr_get_screen_resources_current_reply_t>(xcb_randr_get_screen_resources_current_reply(
        connection.get(), xcb_randr_get_screen_resources_current(connection.get(), connection.root()), nullptr));
}

XcbReply<xcb_randr_get_output_info_reply_t> outputInfo(XcbConnection &connection, xcb_randr_output_t output,
                                                       xcb_timestamp_t stamp)
{
    return XcbReply<xcb_randr_get_output_info_reply_t>(xcb_randr_get_output_info_reply(
        connection.get(), xcb_randr_get_output_info(connection.get(), output, stamp), nullptr));
}

XcbReply<xcb_randr_get_crtc_info_reply_t> crtcInfo(XcbConnection &connection, xcb_randr_crtc_t crtc,
                                                   xcb_timestamp_t stamp)
{
    return XcbReply<xcb_randr_get_crtc_info_reply_t>(xcb_randr_get_crtc_info_reply(
        connection.get(), xcb_randr_get_crtc_info(connection.get(), crtc, stamp), nullptr));
}

QString outputName(const xcb_randr_get_output_info_reply_t *info)
{
    return QString::fromLatin1(reinterpret_cast<const char *>(xcb_randr_get_output_info_name(info)),
                               xcb_randr_get_output_info_name_length(info));
}

bool isVirtualOutput(const QString &name)
{
    return name.startsWith(QLatin1String("DUMMY")) || name.startsWith(QLatin1String("VIRTUAL"));
}

bool setCrtc(XcbConnection &connection, xcb_randr_crtc_t crtc, int x, int y, xcb_randr_mode_t mode,
             const xcb_randr_output_t *output)
{
    auto resourcesReply = resources(connection);
    if (resourcesReply == nullptr) {
        return false;
    }
    XcbReply<xcb_randr_set_crtc_config_reply_t> reply(xcb_randr_set_crtc_config_reply(
        connection.get(),
        xcb_randr_set_crtc_config(connection.get(), crtc, XCB_CURRENT_TIME, resourcesReply->config_timestamp,
                                  std::int16_t(x), std::int16_t(y), mode, XCB_RANDR_ROTATION_ROTATE_0,
                                  output != nullptr ? 1 : 0, output),
        nullptr));
    return reply != nullptr && reply->status == XCB_RANDR_SET_CONFIG_SUCCESS;
}

} // namespace

std::optional<OutputBinding> bindVirtualOutput(XcbConnection &connection, const QString &modeName,
                                               const DisplayRect &bounds, double refreshRate)
{
    xcb_connection_t *c = connection.get();
    auto screen = resources(connection);
    if (screen == nullptr) {
        return std::nullopt;
    }
    const xcb_timestamp_t stamp = screen->config_timestamp;
    const xcb_randr_output_t *outputs = xcb_randr_get_screen_resources_current_outputs(screen.get());
    const int outputCount = xcb_randr_get_screen_resources_current_outputs_length(screen.get());
    OutputBinding binding;
    for (int i = 0; i < outputCount && binding.output == XCB_NONE; ++i) {
        auto info = outputInfo(connection, outputs[i], stamp);
        if (info == nullptr || info->crtc != XCB_NONE || !isVirtualOutput(outputName(info.get()))) {
            continue;
        }
        const xcb_randr_crtc_t *crtcs = xcb_randr_get_output_info_crtcs(info.get());
        for (int j = 0; j < xcb_randr_get_output_info_crtcs_length(info.get()); ++j) {
            auto crtc = crtcInfo(connection, crtcs[j], stamp);
            if (crtc != nullptr && crtc->mode == XCB_NONE && crtc->num_outputs == 0) {
                binding.output = outputs[i];
                binding.crtc = crtcs[j];
                break;
            }
        }
    }
    if (binding.output == XCB_NONE) {
        return std::nullopt;
    }
    const QByteArray name = modeName.toUtf8();
    xcb_randr_mode_info_t mode{};
    mode.width = std::uint16_t(bounds.width);
    mode.height = std::uint16_t(bounds.height);
    mode.hsync_start = mode.width + 8;
    mode.hsync_end = mode.width + 40;
    mode.htotal = mode.width + 80;
    mode.vsync_start = mode.height + 3;
    mode.vsync_end = mode.height + 8;
    mode.vtotal = mode.height + 30;
    mode.dot_clock = std::uint32_t(double(mode.htotal) * mode.vtotal * refreshRate);
    mode.name_len = std::uint16_t(name.size());
    XcbReply<xcb_randr_create_mode_reply_t> created(xcb_randr_create_mode_reply(
        c, xcb_randr_create_mode(c, connection.root(), mode, std::uint32_t(name.size()), name.constData()), nullptr));
    if (created == nullptr) {
        return std::nullopt;
    }
    binding.mode = created->mode;
    if (!succeeds(c, xcb_randr_add_output_mode_checked(c, binding.output, binding.mode)) ||
        !setCrtc(connection, binding.crtc, bounds.x, bounds.y, binding.mode, &binding.output)) {
        releaseVirtualOutput(connection, binding);
        return std::nullopt;
    }
    return binding;
}

bool moveVirtualOutput(XcbConnection &connection, const OutputBinding &binding, int x, int y)
{
    return setCrtc(connection, binding.crtc, x, y, binding.mode, &binding.output);
}

void releaseVirtualOutput(XcbConnection &connection, const OutputBinding &binding)
{
    xcb_connection_t *c = connection.get();
    setCrtc(connection, binding.crtc, 0, 0, XCB_NONE, nullptr);
    succeeds(c, xcb_randr_delete_output_mode_checked(c, binding.output, binding.mode));
    succeeds(c, xcb_randr_destroy_mode_checked(c, binding.mode));
}

void releaseVirtualOutputsNamed(XcbConnection &connection, const QString &modeName)
{
    auto screen = resources(connection);
    if (screen == nullptr) {
        return;
    }
    const QByteArray wanted = modeName.toUtf8();
    const xcb_randr_mode_info_t *modes = xcb_randr_get_screen_resources_current_modes(screen.get());
    const std::uint8_t *names = xcb_randr_get_screen_resources_current_names(screen.get());
    xcb_randr_mode_t found = XCB_NONE;
    for (int i = 0, offset = 0; i < xcb_randr_get_screen_resources_current_modes_length(screen.get()); ++i) {
        if (QByteArray(reinterpret_cast<const char *>(names) + offset, modes[i].name_len) == wanted) {
            found = modes[i].id;
        }
        offset += modes[i].name_len;
    }
    if (found == XCB_NONE) {
        return;
    }
    const xcb_randr_output_t *outputs = xcb_randr_get_screen_resources_current_outputs(screen.get());
    for (int i = 0; i < xcb_randr_get_screen_resources_current_outputs_length(screen.get()); ++i) {
        auto info = outputInfo(connection, outputs[i], screen->config_timestamp);
        if (info == nullptr) {
            continue;
        }
        const xcb_randr_mode_t *outputModes = xcb_randr_get_output_info_modes(info.get());
        const int count = xcb_randr_get_output_info_modes_length(info.get());
        if (std::find(outputModes, outputModes + count, found) == outputModes + count) {
            continue;
        }
        OutputBinding binding{outputs[i], info->crtc, found};
        if (info->crtc != XCB_NONE) {
            auto crtc = crtcInfo(connection, info->crtc, screen->config_timestamp);
            if (crtc == nullptr || crtc->mode != found) {
                binding.crtc = XCB_NONE;
            }
        }
        if (binding.crtc != XCB_NONE) {
            setCrtc(connection, binding.crtc, 0, 0, XCB_NONE, nullptr);
        }
        std::free(xcb_request_check(connection.get(),
                                    xcb_randr_delete_output_mode_checked(connection.get(), outputs[i], found)));
    }
    std::free(xcb_request_check(connection.get(), xcb_randr_destroy_mode_checked(connection.get(), found)));
}

} // namespace lumarient::x11
