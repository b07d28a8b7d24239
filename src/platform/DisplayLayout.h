#pragma once

#include "platform/DisplayRect.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace lumarient {

// The desktop's displays as the window system reports them. Every call asks the
// window system (the caching lives above this).
class DisplayLayout {
public:
    virtual ~DisplayLayout() = default;

    virtual std::vector<std::uint32_t> activeDisplays() = 0;
    // Empty for an unknown or inactive display.
    virtual DisplayRect displayBounds(std::uint32_t displayID) = 0;
    // `handler` runs on the thread that owns this object whenever a display is
    // added, removed, moved or changes mode. One handler; a new one replaces it.
    virtual void setReconfigurationHandler(std::function<void()> handler) = 0;
};

} // namespace lumarient
