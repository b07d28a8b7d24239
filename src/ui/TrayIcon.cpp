#include "ui/TrayIcon.h"

#include "devices/DeviceManager.h"
#include "display/SecondDisplayManager.h"
#include "model/DeviceSelection.h"
#include "ui/MenuRenderer.h"
#include "ui/PhoneIcon.h"
#include "wireless/WirelessConnector.h"

namespace lumarient {
namespace {

std::optional<DeviceConfig> configWithID(const QList<DeviceConfig> &configs, const QUuid &id)
{
    for (const DeviceConfig &config : configs) {
        if (config.id == id)
            return config;
    }
    return std::nullopt;
}

} // namespace

TrayIcon::TrayIcon(DeviceManager &devices, WirelessConnector &wireless, SecondDisplayManager *secondDisplay,
                   Actions actions, QObject *parent)
    : QObject(parent), devices_(devices), wireless_(wireless), secondDisplay_(secondDisplay),
      actions_(std::move(actions))
{
    icon_.setIcon(phoneIcon());
    icon_.setToolTip(QStringLiteral("Lumarient"));
    icon_.setContextMenu(&menu_);
    connect(&menu_, &QMenu::aboutToShow, this, &TrayIcon::rebuild);
    connect(&devices_, &DeviceManager::changed, this, &TrayIcon::rebuild);
    connect(&wireless_, &WirelessConnector::changed, this, &TrayIcon::rebuild);
    if (secondDisplay_)
        connect(secondDisplay_, &SecondDisplayManager::changed, this, &TrayIcon::rebuild);
    // A left click opens the same menu where the tray host does not do so itself.
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            menu_.popup(QCursor::pos());
    });
    rebuild();
}

void TrayIcon::show()
{
    icon_.show();
}

MenuState TrayIcon::menuState() const
{
    MenuState state;
    state.devices = devices_.devices();
    state.configs = devices_.configs();
    for (auto it = devices_.runningSessions().cbegin(); it != devices_.runningSessions().cend(); ++it)
        state.runningSessions.insert(it.key(), it.value());
    if (!devices_.lastError().isNull())
        state.lastError = devices_.lastError();
    state.lanScanInProgress = wireless_.lanScanInProgress();
    if (secondDisplay_) {
        state.secondDisplayActiveSerial = secondDisplay_->activeSerial();
        state.secondDisplayError = secondDisplay_->lastError();
    }
    return state;
}

void TrayIcon::rebuild()
{
    // Rebuilding while the menu is open would close it under the pointer; the
    // next opening shows the new state.
    if (menu_.isVisible())
        return;
    renderMenu(menu_, buildMenu(menuState()), [this](const MenuAction &action) { perform(action); });
}

void TrayIcon::perform(const MenuAction &action)
{
    using Kind = MenuAction::Kind;
    switch (action.kind) {
    case Kind::none:
        return;
    case Kind::refresh:
        devices_.refresh();
        return;
    case Kind::scanNetwork:
        wireless_.runLANFallback(true);
        return;
    case Kind::openSettings:
        actions_.openSettings();
        return;
    case Kind::openSetupGuide:
        actions_.openSetupGuide();
        return;
    case Kind::quit:
        actions_.quit();
        return;
    case Kind::stopSecondDisplay:
        if (secondDisplay_)
            secondDisplay_->stop();
        return;
    default:
        break;
    }
    // The configuration may have gone since the menu was built.
    const std::optional<DeviceConfig> config = configWithID(devices_.configs(), action.configID);
    if (!config)
        return;
    switch (action.kind) {
    case Kind::startDesktop:
        devices_.startDesktop(*config);
        break;
    case Kind::startVirtualDesktop:
        devices_.startVirtualDesktop(*config);
        break;
    case Kind::startMirror:
        devices_.startMirror(*config);
        break;
    case Kind::stopSession:
        devices_.stopSession(*config);
        break;
    case Kind::switchToWifi:
        wireless_.switchToWifi(*config);
        break;
    case Kind::startSecondDisplay:
        if (const std::optional<ConnectedDevice> device = connectedDevice(devices_.devices(), *config);
            device && secondDisplay_)
            secondDisplay_->start(*device);
        break;
    default:
        break;
    }
}

} // namespace lumarient
