#include "appwindows/WindowDragWatcher.h"

#include "appwindows/WindowListCache.h"
#include "platform/DisplayLayout.h"

#include <algorithm>
#include <cstdlib>

namespace lumarient {

WindowDragWatcher::WindowDragWatcher(WindowListCache &windows, DisplayLayout &layout, StandInDisplay standInDisplayID,
                                     QObject *parent)
    : QObject(parent), windows_(windows), layout_(layout), standInDisplayID_(std::move(standInDisplayID))
{
    timer_.setInterval(sampleInterval);
    connect(&timer_, &QTimer::timeout, this, &WindowDragWatcher::sample);
}

void WindowDragWatcher::watch(std::int32_t pid, const QString &title)
{
    watched_[pid] = title;
}

void WindowDragWatcher::start(DropHandler onDrop)
{
    if (timer_.isActive())
        return;
    onDrop_ = std::move(onDrop);
    timer_.start();
}

void WindowDragWatcher::unwatch(std::int32_t pid)
{
    watched_.erase(pid);
}

void WindowDragWatcher::stop()
{
    timer_.stop();
    watched_.clear();
    onDrop_ = nullptr;
}

bool WindowDragWatcher::isDropped(const DisplayRect &frame, const DisplayRect &phone, const DisplayRect &main)
{
    if (frame.width < minimumWindowSize || frame.height < minimumWindowSize)
        return false;
    if (!frame.intersects(phone))
        return false;
    // Centres doubled, so the comparison stays in integers.
    const long long dx = std::llabs((2LL * phone.x + phone.width) - (2LL * main.x + main.width));
    const long long dy = std::llabs((2LL * phone.y + phone.height) - (2LL * main.y + main.height));
    const bool horizontal = dy <= dx;
    const long long overlap = horizontal
                                  ? std::min<long long>(frame.right(), phone.right()) - std::max(frame.x, phone.x)
                                  : std::min<long long>(frame.bottom(), phone.bottom()) - std::max(frame.y, phone.y);
    const long long size = horizontal ? frame.width : frame.height;
    return size <= 2 * overlap;
}

void WindowDragWatcher::sample()
{
    if (watched_.empty())
        return;
    const std::optional<std::uint32_t> standIn = standInDisplayID_ ? standInDisplayID_() : std::nullopt;
    if (!standIn)
        return;
    const DisplayRect phone = layout_.displayBounds(*standIn);
    if (phone.isEmpty())
        return;
    const std::optional<DisplayRect> main = mainDisplayBounds(*standIn);
    if (!main)
        return;
    std::vector<std::int32_t> dropped;
    for (const auto &[pid, title] : watched_) {
        const std::optional<DisplayRect> frame = windowFrame(pid, title);
        if (frame && isDropped(*frame, phone, *main))
            dropped.push_back(pid);
    }
    for (const std::int32_t pid : dropped) {
        // The handler may stop this watcher or start another drag: each drop is
        // reported only while it is still watched.
        if (watched_.erase(pid) == 0)
            continue;
        if (onDrop_) {
            const DropHandler handler = onDrop_;
            handler(pid);
        }
    }
}

std::optional<DisplayRect> WindowDragWatcher::windowFrame(std::int32_t pid, const QString &title)
{
    for (const WindowListCache::Entry &entry : windows_.snapshot()) {
        if (entry.pid == pid && entry.name == title)
            return entry.bounds;
    }
    return std::nullopt;
}

// The first other display, the one the keyboard-and-mouse manager puts the stand-in beside.
std::optional<DisplayRect> WindowDragWatcher::mainDisplayBounds(std::uint32_t standInID)
{
    for (const std::uint32_t id : layout_.activeDisplays()) {
        if (id == standInID)
            continue;
        const DisplayRect bounds = layout_.displayBounds(id);
        if (!bounds.isEmpty())
            return bounds;
    }
    return std::nullopt;
}

} // namespace lumarient
