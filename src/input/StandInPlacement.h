#pragma once

#include "platform/DisplayRect.h"

#include <QString>

#include <optional>
#include <utility>

namespace lumarient {

// Where a phone's stand-in display sits relative to the main display; the side
// decides which screen edge the pointer crosses onto the phone.
enum class Placement { left, right, above, below, overlapping };

// Left and right are tested before above and below, so a display that is both
// right of and below the main display counts as right.
Placement placementOf(const DisplayRect &standIn, const DisplayRect &main);
// "to the left of your main display", ...
QString placementPhrase(Placement placement);
// The name kept in the settings ("left", "right", "above", "below").
QString placementName(Placement placement);
// Nothing for an unknown name or "overlapping" (which is never a choice).
std::optional<Placement> placementNamed(const QString &name);
// The top-left corner of a `width` x `height` display put on that side of
// `main`, centred along the shared edge; nothing for `overlapping`.
std::optional<std::pair<int, int>> standInOrigin(Placement placement, const DisplayRect &main, int width, int height);

} // namespace lumarient
