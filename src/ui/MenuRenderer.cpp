#include "ui/MenuRenderer.h"

#include <QAction>
#include <QMenu>

namespace lumarient {

void renderMenu(QMenu &menu, const QList<MenuEntry> &entries, const std::function<void(const MenuAction &)> &onAction)
{
    menu.clear();
    for (const MenuEntry &entry : entries) {
        if (entry.kind == MenuEntry::Kind::divider) {
            menu.addSeparator();
            continue;
        }
        // Menus treat '&' as a mnemonic marker; phone names may contain one.
        QString label = entry.text;
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *action = menu.addAction(label);
        action->setEnabled(entry.kind == MenuEntry::Kind::button && entry.enabled);
        if (entry.kind == MenuEntry::Kind::button) {
            const MenuAction chosen = entry.action;
            QObject::connect(action, &QAction::triggered, &menu, [onAction, chosen] { onAction(chosen); });
        }
    }
}

} // namespace lumarient
