#pragma once

#include "model/ConnectedDevice.h"
#include "model/DeviceConfig.h"
#include "model/SessionKind.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

namespace lumarient {

// What a menu entry does when chosen. `configID` names the configuration of the
// section the entry belongs to.
struct MenuAction {
    enum class Kind {
        none,
        refresh,
        scanNetwork,
        openSettings,
        openSetupGuide,
        quit,
        startDesktop,
        startVirtualDesktop,
        startMirror,
        stopSession,
        switchToWifi,
        startSecondDisplay,
        stopSecondDisplay,
        startKeyboardMouse,
        stopKeyboardMouse,
        openKeyboardMouseSetup,
        checkForUpdates,
    };
    Kind kind = Kind::none;
    QUuid configID;

    bool operator==(const MenuAction &) const = default;
};

// One line of the tray menu: an inert text, a button, or a divider.
struct MenuEntry {
    enum class Kind { text, button, divider };
    Kind kind = Kind::text;
    QString text;
    bool enabled = true;
    MenuAction action;

    static MenuEntry textLine(const QString &text) { return {Kind::text, text, false, {}}; }
    static MenuEntry button(const QString &text, MenuAction action, bool enabled = true)
    {
        return {Kind::button, text, enabled, action};
    }
    static MenuEntry divider() { return {Kind::divider, QString(), false, {}}; }

    bool operator==(const MenuEntry &) const = default;
};

// The managers' published state the menu shows.
struct MenuState {
    QList<ConnectedDevice> devices;
    QList<DeviceConfig> configs;
    QHash<QUuid, SessionKind> runningSessions;
    std::optional<QString> lastError;
    bool lanScanInProgress = false;
    // The phone using the second display, if any, and that feature's last failure.
    std::optional<QString> secondDisplayActiveSerial;
    std::optional<QString> secondDisplayError;
    // The phones driven by the computer's keyboard and mouse, and that feature's state.
    QSet<QUuid> keyboardMouseActiveConfigIDs;
    std::optional<QString> keyboardMouseError;
    bool needsInputMonitoringPermission = false;
    // False where this desktop offers no way to take the keyboard and mouse.
    bool keyboardMouseAvailable = true;
    // Builds that update through their distribution have no updater.
    bool canCheckForUpdates = false;
};

// The tray menu, top to bottom, for the given state. It keeps nothing between
// calls: the tray builds it anew whenever the state changes.
QList<MenuEntry> buildMenu(const MenuState &state);

// "not connected", "USB", "USB, Wi-Fi standby" or "Wi-Fi", followed by
// ", <session> running" while a session runs.
QString deviceStatusText(const std::optional<ConnectedDevice> &device, std::optional<SessionKind> session,
                         bool wifiStandby);

} // namespace lumarient
