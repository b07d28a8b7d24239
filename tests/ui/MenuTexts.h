#pragma once

#include "ui/MenuModel.h"

#include <QStringList>

namespace lumarient::test {

// A menu's lines as text, dividers as "---", for comparing whole menus.
inline QStringList menuTexts(const QList<MenuEntry> &entries)
{
    QStringList lines;
    for (const MenuEntry &entry : entries)
        lines.append(entry.kind == MenuEntry::Kind::divider ? QStringLiteral("---") : entry.text);
    return lines;
}

} // namespace lumarient::test
