#include "display/DisplayGeometryCache.h"

namespace lumarient {

DisplayGeometryCache::DisplayGeometryCache(DisplayLayout &layout) : layout_(layout)
{
}

DisplayGeometryCache::~DisplayGeometryCache()
{
    if (registered_) {
        layout_.setReconfigurationHandler({});
    }
}

void DisplayGeometryCache::registerOnce()
{
    if (registered_) {
        return;
    }
    registered_ = true;
    layout_.setReconfigurationHandler([this] {
        QMetaObject::invokeMethod(
            &context_, [this] { invalidate(); }, Qt::QueuedConnection);
    });
}

DisplayRect DisplayGeometryCache::displayBounds(std::uint32_t displayID)
{
    registerOnce();
    if (const auto found = bounds_.find(displayID); found != bounds_.end()) {
        return found->second;
    }
    const DisplayRect bounds = layout_.displayBounds(displayID);
    if (!bounds.isEmpty()) {
        bounds_[displayID] = bounds;
    }
    return bounds;
}

std::vector<std::uint32_t> DisplayGeometryCache::activeDisplays()
{
    registerOnce();
    if (!activeDisplays_) {
        activeDisplays_ = layout_.activeDisplays();
    }
    return *activeDisplays_;
}

void DisplayGeometryCache::invalidate()
{
    bounds_.clear();
    activeDisplays_.reset();
}

} // namespace lumarient
