#include "display/SecondDisplaySizing.h"

#include <algorithm>
#include <cmath>

namespace lumarient {

ScreenSize secondDisplaySize(std::optional<ScreenSize> phoneScreen, bool overWifi)
{
    if (!phoneScreen || phoneScreen->width <= 0 || phoneScreen->height <= 0) {
        return {1440, 900};
    }
    const int longSide = std::max(phoneScreen->width, phoneScreen->height);
    const int shortSide = std::min(phoneScreen->width, phoneScreen->height);
    const double ratio = double(shortSide) / double(longSide);
    const int width = std::min(longSide, overWifi ? 1920 : 2560);
    const int height = int(std::round(ratio * width)) / 2 * 2;
    return {width, height};
}

} // namespace lumarient
