#pragma once

#include <QString>

#include <array>
#include <optional>

namespace lumarient {

struct ScreenSize;

// A task's bounds on the phone as the activity manager writes them: left, top,
// right and bottom separated by single spaces.
namespace TaskBounds {

// The four integers, or none when `bounds` is not exactly that (or describes a
// rectangle with right left of left or bottom above top).
std::optional<std::array<int, 4>> parse(const QString &bounds);

// `bounds` made to fit a screen of `screen`'s size: sizes cut to the screen,
// then moved in from the edges. When the phone was turned since the bounds
// were captured (`capturedLandscape` differs from the screen's orientation)
// the axes are swapped first. Malformed bounds or an unknown size leave
// `bounds` as it is.
QString fitToScreen(const QString &bounds, const std::optional<ScreenSize> &screen,
                    std::optional<bool> capturedLandscape);

bool isLandscape(const ScreenSize &screen);

} // namespace TaskBounds
} // namespace lumarient
