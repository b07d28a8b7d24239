#include "appwindows/WindowListCache.h"

namespace lumarient {

WindowListCache::WindowListCache(WindowList &windows, const Clock &clock) : windows_(windows), clock_(clock)
{
}

QList<WindowListCache::Entry> WindowListCache::snapshot()
{
    const Clock::TimePoint now = clock_.now();
    if (lastRefresh_ && now - *lastRefresh_ <= refreshInterval)
        return cache_;
    lastRefresh_ = now;
    const std::optional<QList<WindowInfo>> listed = windows_.onScreenWindows();
    if (!listed)
        return cache_;
    cache_.clear();
    for (const WindowInfo &window : *listed) {
        if (window.pid != 0 && !window.bounds.isEmpty())
            cache_.append(window);
    }
    return cache_;
}

} // namespace lumarient
