#pragma once

#include "ui/MenuModel.h"

#include <functional>

class QMenu;

namespace lumarient {

// Fills `menu` with `entries` (replacing what it held); a chosen button calls
// `onAction` with its action. Text lines show as disabled items. The menu's
// items are kept and shown anew, so a change to a long menu costs time in
// proportion to its length, not to its square.
void renderMenu(QMenu &menu, const QList<MenuEntry> &entries, const std::function<void(const MenuAction &)> &onAction);

} // namespace lumarient
