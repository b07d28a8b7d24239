#pragma once

#include "platform/DisplayLayout.h"

#include <QObject>

#include <map>
#include <optional>
#include <vector>

namespace lumarient {

// Display bounds and the active display list from memory, forgotten whenever the
// display configuration changes, so pointer handling need not ask the window
// system on every event. Main thread only.
class DisplayGeometryCache {
public:
    explicit DisplayGeometryCache(DisplayLayout &layout);
    ~DisplayGeometryCache();
    DisplayGeometryCache(const DisplayGeometryCache &) = delete;
    DisplayGeometryCache &operator=(const DisplayGeometryCache &) = delete;

    DisplayRect displayBounds(std::uint32_t displayID);
    std::vector<std::uint32_t> activeDisplays();
    void invalidate();

private:
    void registerOnce();

    DisplayLayout &layout_;
    std::map<std::uint32_t, DisplayRect> bounds_;
    std::optional<std::vector<std::uint32_t>> activeDisplays_;
    bool registered_ = false;
    // Lets the change handler hop to the main thread and die with the cache.
    QObject context_;
};

} // namespace lumarient
