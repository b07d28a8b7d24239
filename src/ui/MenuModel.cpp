#include "ui/MenuModel.h"

#include "model/DeviceSelection.h"
#include "ui/SecondDisplayMenu.h"

namespace lumarient {
namespace {

using Action = MenuAction::Kind;

void appendDeviceSection(QList<MenuEntry> &menu, const MenuState &state, const DeviceConfig &config)
{
    const std::optional<ConnectedDevice> device = connectedDevice(state.devices, config);
    const auto running = state.runningSessions.constFind(config.id);
    const std::optional<SessionKind> session =
        running == state.runningSessions.cend() ? std::nullopt : std::optional<SessionKind>(*running);
    const bool wifiStandby = device && !device->isWifi && wifiDevice(state.devices, config).has_value();

    menu.append(
        MenuEntry::textLine(config.name + QStringLiteral(" — ") + deviceStatusText(device, session, wifiStandby)));
    if (!device)
        return;
    const SecondDisplayMenuEntry secondDisplay =
        secondDisplayMenuEntry(state.secondDisplayActiveSerial, device->serial, session.has_value());
    if (secondDisplay.kind == SecondDisplayMenuEntry::Kind::stop) {
        menu.append(MenuEntry::button(secondDisplay.text, {Action::stopSecondDisplay, config.id}));
        return;
    }
    if (state.keyboardMouseActiveConfigIDs.contains(config.id)) {
        menu.append(MenuEntry::button(QStringLiteral("Stop Keyboard & Mouse"), {Action::stopKeyboardMouse, config.id}));
        return;
    }
    if (session) {
        menu.append(MenuEntry::button(QStringLiteral("Stop Session"), {Action::stopSession, config.id}));
        return;
    }
    if (secondDisplay.kind == SecondDisplayMenuEntry::Kind::busy) {
        menu.append(MenuEntry::textLine(secondDisplay.text));
        return;
    }
    menu.append(MenuEntry::button(QStringLiteral("Desktop Mode"), {Action::startDesktop, config.id}));
    if (config.virtualDisplayHasWindowManagement) {
        menu.append(
            MenuEntry::button(QStringLiteral("Desktop Mode (invisible)"), {Action::startVirtualDesktop, config.id}));
    }
    menu.append(MenuEntry::button(QStringLiteral("Mirror Screen"), {Action::startMirror, config.id}));
    menu.append(MenuEntry::button(secondDisplay.text, {Action::startSecondDisplay, config.id}));
    if (!state.keyboardMouseAvailable) {
        menu.append(
            MenuEntry::textLine(QStringLiteral("Keyboard & mouse sharing isn't available on this desktop yet.")));
    } else {
        menu.append(
            MenuEntry::button(QStringLiteral("Keyboard & Mouse Only"), {Action::startKeyboardMouse, config.id}));
    }
    if (state.keyboardMouseAvailable && state.needsInputMonitoringPermission) {
        menu.append(MenuEntry::textLine(QStringLiteral(
            "⚠️ Keyboard and mouse can't be watched on this desktop — see Keyboard & Mouse Setup…")));
    }
    if (!device->isWifi && !wifiStandby)
        menu.append(MenuEntry::button(QStringLiteral("Switch to Wi-Fi"), {Action::switchToWifi, config.id}));
}

} // namespace

QString deviceStatusText(const std::optional<ConnectedDevice> &device, std::optional<SessionKind> session,
                         bool wifiStandby)
{
    if (!device)
        return QStringLiteral("not connected");
    QString status = device->isWifi ? QStringLiteral("Wi-Fi")
                     : wifiStandby  ? QStringLiteral("USB, Wi-Fi standby")
                                    : QStringLiteral("USB");
    if (session)
        status += QStringLiteral(", ") + rawValue(*session) + QStringLiteral(" running");
    return status;
}

QList<MenuEntry> buildMenu(const MenuState &state)
{
    QList<MenuEntry> menu;
    const bool anyPending = !pendingDevices(state.devices).isEmpty();
    if (anyPending) {
        menu.append(MenuEntry::textLine(QStringLiteral("⏳ Phone waiting for approval — tap Allow on its screen")));
        menu.append(MenuEntry::divider());
    }
    if (state.configs.isEmpty() && !anyPending) {
        menu.append(MenuEntry::textLine(QStringLiteral("No devices — plug in a phone with USB debugging on")));
        menu.append(MenuEntry::divider());
    }
    for (const DeviceConfig &config : state.configs) {
        appendDeviceSection(menu, state, config);
        menu.append(MenuEntry::divider());
    }
    for (const std::optional<QString> &error : {state.lastError, state.keyboardMouseError, state.secondDisplayError}) {
        if (error) {
            menu.append(MenuEntry::textLine(QStringLiteral("⚠️ ") + *error));
            menu.append(MenuEntry::divider());
        }
    }
    menu.append(MenuEntry::button(QStringLiteral("Refresh Devices"), {Action::refresh, {}}));
    if (state.lanScanInProgress)
        menu.append(MenuEntry::button(QStringLiteral("Scanning Network…"), {Action::scanNetwork, {}}, false));
    else
        menu.append(MenuEntry::button(QStringLiteral("Scan Network for Devices"), {Action::scanNetwork, {}}));
    menu.append(MenuEntry::button(QStringLiteral("Settings…"), {Action::openSettings, {}}));
    menu.append(MenuEntry::button(QStringLiteral("Setup Guide…"), {Action::openSetupGuide, {}}));
    menu.append(MenuEntry::button(QStringLiteral("Keyboard & Mouse Setup…"), {Action::openKeyboardMouseSetup, {}}));
    if (state.canCheckForUpdates)
        menu.append(MenuEntry::button(QStringLiteral("Check for Updates…"), {Action::checkForUpdates, {}}));
    menu.append(MenuEntry::divider());
    menu.append(MenuEntry::button(QStringLiteral("Quit Lumarient"), {Action::quit, {}}));
    return menu;
}

} // namespace lumarient
