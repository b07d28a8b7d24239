#include "support/OpenboxSession.h"

#include "support/EventLoop.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace lumarient::test {
namespace {

using namespace std::chrono_literals;

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply != nullptr ? reply->atom : XCB_NONE;
    std::free(reply);
    return result;
}

bool listed(xcb_connection_t *c, xcb_window_t root, xcb_window_t window)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 4096), nullptr);
    bool found = false;
    if (reply != nullptr) {
        const auto *windows = static_cast<const xcb_window_t *>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        found = std::find(windows, windows + count, window) != windows + count;
    }
    std::free(reply);
    return found;
}

} // namespace

OpenboxSession::OpenboxSession(const char *displayName) : displayName_(displayName)
{
}

OpenboxSession::~OpenboxSession()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000))
        process_.kill();
    process_.waitForFinished(5000);
}

bool OpenboxSession::start(std::chrono::milliseconds limit)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(displayName_));
    environment.insert(QStringLiteral("HOME"), home_.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home_.filePath(QStringLiteral("cache")));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!process_.waitForStarted(5000)) {
        problem_ = QStringLiteral("openbox is not installed");
        return false;
    }
    // openbox announces itself before it is ready and drops windows mapped
    // meanwhile: a probe window that it manages shows it is ready.
    if (!spinUntil([&] { return managesAProbeWindow(); }, limit)) {
        problem_ = QStringLiteral("openbox did not start managing windows");
        return false;
    }
    return true;
}

bool OpenboxSession::managesAProbeWindow()
{
    xcb_connection_t *c = xcb_connect(displayName_.constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t probe = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 50, 50, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    xcb_map_window(c, probe);
    xcb_flush(c);
    const bool managed = spinUntil([&] { return listed(c, screen->root, probe); }, 300ms);
    xcb_destroy_window(c, probe);
    xcb_disconnect(c);
    return managed;
}

} // namespace lumarient::test
