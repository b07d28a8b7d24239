#pragma once

#include "ui/MenuModel.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

#include <functional>

namespace lumarient {

class DeviceManager;
class WirelessConnector;
class SecondDisplayManager;

// The app's one visible presence: a tray icon titled "Lumarient" whose menu is
// rebuilt from the managers' state whenever it changes or the menu opens.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> openSettings;
        std::function<void()> openSetupGuide;
        std::function<void()> quit;
    };

    TrayIcon(DeviceManager &devices, WirelessConnector &wireless, SecondDisplayManager *secondDisplay, Actions actions,
             QObject *parent = nullptr);

    void show();
    // The managers' state as the menu shows it.
    MenuState menuState() const;
    QMenu &menu() { return menu_; }
    // Runs what the entry stands for (also used by tests).
    void perform(const MenuAction &action);

private:
    void rebuild();

    DeviceManager &devices_;
    WirelessConnector &wireless_;
    SecondDisplayManager *secondDisplay_;
    Actions actions_;
    QMenu menu_;
    QSystemTrayIcon icon_;
};

} // namespace lumarient
