#pragma once

#include "platform/DisplayRect.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace lumarient::x11 {

// Replies and events from xcb are malloc'ed; this frees them.
struct FreeDeleter {
    void operator()(void *pointer) const { std::free(pointer); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

// One connection to the X server, closed when this object goes. xcb connections
// may be shared between threads, but each user here keeps its own so that one
// thread's waits never hold up another's requests.
class XcbConnection {
public:
    // Connects to $DISPLAY (or `displayName`); check `isValid`.
    explicit XcbConnection(const char *displayName = nullptr);
    ~XcbConnection();
    XcbConnection(const XcbConnection &) = delete;
    XcbConnection &operator=(const XcbConnection &) = delete;

    bool isValid() const { return connection_ != nullptr; }
    xcb_connection_t *get() const { return connection_; }
    xcb_window_t root() const { return root_; }
    int fileDescriptor() const;
    // True when the server offers RandR 1.5 or later (monitors).
    bool hasRandrMonitors();

private:
    xcb_connection_t *connection_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
};

struct MonitorInfo {
    xcb_atom_t name = XCB_NONE;
    DisplayRect bounds;
};

// The server's RandR monitors (active ones only when `activeOnly`).
std::vector<MonitorInfo> queryMonitors(XcbConnection &connection, bool activeOnly = true);
std::optional<MonitorInfo> findMonitor(XcbConnection &connection, xcb_atom_t name);
xcb_atom_t internAtom(XcbConnection &connection, const QString &name, bool onlyIfExists = false);

struct ScreenSize {
    int width = 0;
    int height = 0;
};
ScreenSize framebufferSize(XcbConnection &connection);
// RRSetMonitor, sent by hand: libxcb 1.15's generated call computes a wrong
// request length and the server drops the connection.
// `output` (or XCB_NONE) is the one output the monitor shows.
bool setMonitorRequest(XcbConnection &connection, const xcb_randr_monitor_info_t &info,
                       xcb_randr_output_t output = XCB_NONE);

// Resizes the framebuffer, keeping its pixel density; false when refused.
bool setFramebufferSize(XcbConnection &connection, int width, int height);

} // namespace lumarient::x11
