#pragma once

#include "tooling/ADB.h"

#include <optional>

namespace lumarient {

// The second display's pixel size for a phone of `phoneScreen` (nothing when it
// could not be read): landscape, the phone's aspect ratio, at most 1920 wide over
// Wi-Fi and 2560 by cable, an even height; 1440 x 900 without a screen size.
ScreenSize secondDisplaySize(std::optional<ScreenSize> phoneScreen, bool overWifi);

} // namespace lumarient
