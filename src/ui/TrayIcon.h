#pragma once

#include "ui/MenuActions.h"
#include "ui/MenuModel.h"
#include "ui/MenuRenderer.h"
#include "ui/MenuSources.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

namespace lumarient {

// The app's one visible presence: a tray icon titled "Lumarient" whose menu
// follows the sources' state, also while it is open.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    using Actions = MenuActions::Hooks;

    TrayIcon(const MenuSources &sources, Actions actions, QObject *parent = nullptr);

    void show();
    QMenu &menu() { return menu_; }
    // Runs what the entry stands for (also used by tests).
    void perform(const MenuAction &action) { actions_.perform(action); }
    MenuActions &actions() { return actions_; }

signals:
    // The menu was brought up to date with the sources' state.
    void menuUpdated();

private:
    void updateMenu();

    MenuActions actions_;
    QMenu menu_;
    MenuRenderer renderer_;
    // Collects every change of one event-loop turn into one update.
    QTimer pendingUpdate_;
    QSystemTrayIcon icon_;
};

} // namespace lumarient
