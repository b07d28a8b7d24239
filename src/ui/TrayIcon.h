#pragma once

#include "ui/MenuModel.h"
#include "ui/MenuRenderer.h"
#include "ui/MenuSources.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>

namespace lumarient {

// The app's one visible presence: a tray icon titled "Lumarient" whose menu
// follows the sources' state, also while it is open.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> openSettings;
        std::function<void()> openSetupGuide;
        std::function<void()> quit;
        std::function<void()> openKeyboardMouseSetup;
        // Whether the keyboard and mouse setup window has been seen once; until
        // then "Keyboard & Mouse Only" opens it instead of starting.
        std::function<bool()> hasSeenKeyboardMouseSetup;
        // Absent where the app has no updater.
        std::function<void()> checkForUpdates;
    };

    TrayIcon(const MenuSources &sources, Actions actions, QObject *parent = nullptr);

    void show();
    QMenu &menu() { return menu_; }
    // Runs what the entry stands for (also used by tests).
    void perform(const MenuAction &action);

signals:
    // The menu was brought up to date with the sources' state.
    void menuUpdated();

private:
    void updateMenu();

    MenuSources sources_;
    Actions actions_;
    QMenu menu_;
    MenuRenderer renderer_;
    // Collects every change of one event-loop turn into one update.
    QTimer pendingUpdate_;
    QSystemTrayIcon icon_;
};

} // namespace lumarient
