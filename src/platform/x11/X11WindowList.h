#pragma once

#include "platform/WindowList.h"
#include "platform/x11/XcbConnectionOnDemand.h"

#include <xcb/xcb.h>

#include <array>
#include <memory>

class QSocketNotifier;

namespace lumarient::x11 {

// The window list an EWMH window manager keeps on the root window: the
// stacking order, each window's process, title and frame, and the active
// window. Changes are seen as property changes on the root window. Main
// thread only.
class X11WindowList final : public WindowList {
public:
    explicit X11WindowList(const char *displayName = nullptr);
    ~X11WindowList() override;
    X11WindowList(const X11WindowList &) = delete;
    X11WindowList &operator=(const X11WindowList &) = delete;

    std::optional<QList<WindowInfo>> onScreenWindows() override;
    std::optional<std::uint32_t> activeWindow() override;
    bool activate(std::uint32_t id) override;
    bool minimize(std::uint32_t id) override;
    void onChanged(std::function<void()> changed) override;

private:
    struct Atoms;

    // Run once the connection is made, at first use.
    void internAtoms(XcbConnection &connection);
    // A client message about window `id` to the window manager.
    bool sendToRoot(std::uint32_t id, std::uint32_t type, std::array<std::uint32_t, 3> data);
    void drain();
    void scheduleDrain();

    std::unique_ptr<Atoms> atoms_;
    XcbConnectionOnDemand connection_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> changed_;
    bool drainScheduled_ = false;
};

} // namespace lumarient::x11
