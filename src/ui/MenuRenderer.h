#pragma once

#include "ui/MenuModel.h"

#include <QList>
#include <QObject>

#include <functional>

class QAction;
class QMenu;

namespace lumarient {

// Keeps a QMenu showing the menu's entries. Each `render` brings the actions it
// made up to date in place: the action at each position takes that position's
// new text, kind and enabled state, and only missing actions are added or
// surplus ones removed. The menu is never cleared, so an open menu stays open
// and follows the state. Text lines show as disabled items.
class MenuRenderer {
public:
    // `onAction` is called with the action of a chosen button. `menu` must
    // outlive the renderer.
    MenuRenderer(QMenu &menu, std::function<void(const MenuAction &)> onAction);
    ~MenuRenderer();
    MenuRenderer(const MenuRenderer &) = delete;
    MenuRenderer &operator=(const MenuRenderer &) = delete;

    void render(const QList<MenuEntry> &entries);

private:
    void choose(qsizetype position) const;

    QMenu &menu_;
    std::function<void(const MenuAction &)> onAction_;
    // What each of `actions_` shows, position for position.
    QList<MenuEntry> rendered_;
    QList<QAction *> actions_;
    // Receives the actions' signals, so none reaches a renderer that has gone.
    QObject receiver_;
};

} // namespace lumarient
