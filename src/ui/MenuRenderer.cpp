#include "ui/MenuRenderer.h"

#include <QAction>
#include <QMenu>

namespace lumarient {
namespace {

void showEntry(QAction &action, const MenuEntry &entry)
{
    const bool divider = entry.kind == MenuEntry::Kind::divider;
    action.setSeparator(divider);
    // Menus treat '&' as a mnemonic marker; phone names may contain one.
    QString label = divider ? QString() : entry.text;
    label.replace(QLatin1Char('&'), QStringLiteral("&&"));
    action.setText(label);
    action.setEnabled(entry.kind == MenuEntry::Kind::button && entry.enabled);
}

} // namespace

MenuRenderer::MenuRenderer(QMenu &menu, std::function<void(const MenuAction &)> onAction)
    : menu_(menu), onAction_(std::move(onAction))
{
}

MenuRenderer::~MenuRenderer()
{
    qDeleteAll(actions_);
}

void MenuRenderer::render(const QList<MenuEntry> &entries)
{
    for (qsizetype position = 0; position < entries.size(); ++position) {
        if (position == actions_.size()) {
            auto *action = new QAction(&menu_);
            showEntry(*action, entries[position]);
            QObject::connect(action, &QAction::triggered, &receiver_, [this, position] { choose(position); });
            menu_.addAction(action);
            actions_.append(action);
        } else if (rendered_[position] != entries[position]) {
            showEntry(*actions_[position], entries[position]);
        }
    }
    while (actions_.size() > entries.size()) {
        QAction *surplus = actions_.takeLast();
        menu_.removeAction(surplus);
        QObject::disconnect(surplus, nullptr, &receiver_, nullptr);
        // Not at once: the render may run from inside one of the menu's own signals.
        surplus->deleteLater();
    }
    rendered_ = entries;
}

void MenuRenderer::choose(qsizetype position) const
{
    // The entry the action shows now, not the one it showed when it was made.
    const MenuEntry entry = rendered_[position];
    if (entry.kind == MenuEntry::Kind::button && entry.enabled)
        onAction_(entry.action);
}

} // namespace lumarient
