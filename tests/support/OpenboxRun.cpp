#include "support/OpenboxRun.h"

#include "support/EventLoop.h"

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace lumarient::test {
namespace {

// Whether a window manager has put its check window on the root window.
bool hasWindowManager(xcb_connection_t *c)
{
    const char *name = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, std::uint16_t(std::strlen(name)), name), nullptr);
    if (atom == nullptr)
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
    const bool present = atom->atom != XCB_NONE && reply != nullptr && xcb_get_property_value_length(reply) == 4;
    std::free(reply);
    std::free(atom);
    return present;
}

} // namespace

OpenboxRun::OpenboxRun(const char *displayName)
{
    ensureApplication();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(displayName));
    environment.insert(QStringLiteral("HOME"), home_.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home_.filePath(QStringLiteral("cache")));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!process_.waitForStarted(5000))
        return;
    xcb_connection_t *c = xcb_connect(displayName, nullptr);
    if (xcb_connection_has_error(c) == 0)
        running_ = spinUntil([&] { return hasWindowManager(c); }, std::chrono::seconds(10));
    xcb_disconnect(c);
}

OpenboxRun::~OpenboxRun()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000))
        process_.kill();
    process_.waitForFinished(5000);
}

} // namespace lumarient::test
