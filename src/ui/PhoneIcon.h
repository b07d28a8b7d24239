#pragma once

#include <QIcon>

namespace lumarient {

// The tray's phone symbol: the desktop theme's own when it has one, otherwise a
// simple phone outline drawn here, so the tray never shows an empty slot.
QIcon phoneIcon();

} // namespace lumarient
