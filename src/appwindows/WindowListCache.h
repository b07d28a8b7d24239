#pragma once

#include "platform/Clock.h"
#include "platform/WindowList.h"

#include <QList>

#include <chrono>
#include <optional>

namespace lumarient {

// The desktop's on-screen windows, asked of the window manager at most ten
// times a second however often they are wanted. Main thread only.
class WindowListCache {
public:
    using Entry = WindowInfo;

    static constexpr std::chrono::milliseconds refreshInterval{100};

    WindowListCache(WindowList &windows, const Clock &clock);

    // The windows front to back. Windows without an owning process or without
    // a size are left out; when the list cannot be had the previous one stays.
    QList<Entry> snapshot();

private:
    WindowList &windows_;
    const Clock &clock_;
    QList<Entry> cache_;
    std::optional<Clock::TimePoint> lastRefresh_;
};

} // namespace lumarient
