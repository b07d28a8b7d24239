#pragma once

#include "ui/MenuModel.h"

#include <functional>

class QMenu;

namespace lumarient {

// Fills `menu` with `entries` (replacing what it held); a chosen button calls
// `onAction` with its action. Text lines show as disabled items.
void renderMenu(QMenu &menu, const QList<MenuEntry> &entries, const std::function<void(const MenuAction &)> &onAction);

} // namespace lumarient
