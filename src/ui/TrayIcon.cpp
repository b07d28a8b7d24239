#include "ui/TrayIcon.h"

#include "devices/DeviceManager.h"
#include "display/SecondDisplayManager.h"
#include "input/SeamlessInputManager.h"
#include "model/DeviceSelection.h"
#include "ui/PhoneIcon.h"
#include "wireless/WirelessConnector.h"

#include <type_traits>

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

TrayIcon::TrayIcon(const MenuSources &sources, Actions actions, QObject *parent)
    : QObject(parent), sources_(sources), actions_(std::move(actions)),
      renderer_(menu_, [this](const MenuAction &action) { perform(action); })
{
    pendingUpdate_.setSingleShot(true);
    pendingUpdate_.setInterval(0);
    connect(&pendingUpdate_, &QTimer::timeout, this, &TrayIcon::updateMenu);
    sources_.forEach([this](auto &source) {
        using Source = std::remove_reference_t<decltype(source)>;
        connect(&source, &Source::changed, &pendingUpdate_, qOverload<>(&QTimer::start));
    });
    // A change in the same turn as the opening is shown at once.
    connect(&menu_, &QMenu::aboutToShow, this, [this] {
        if (pendingUpdate_.isActive())
            updateMenu();
    });
    icon_.setIcon(phoneIcon());
    icon_.setToolTip(QStringLiteral("Lumarient"));
    icon_.setContextMenu(&menu_);
    // A left click opens the same menu where the tray host does not do so itself.
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            menu_.popup(QCursor::pos());
    });
    updateMenu();
}

void TrayIcon::show()
{
    icon_.show();
}

void TrayIcon::updateMenu()
{
    pendingUpdate_.stop();
    MenuState state = readMenuState(sources_);
    state.canCheckForUpdates = static_cast<bool>(actions_.checkForUpdates);
    renderer_.render(buildMenu(state));
    emit menuUpdated();
}

void TrayIcon::perform(const MenuAction &action)
{
    DeviceManager &devices = sources_.devices;
    using Kind = MenuAction::Kind;
    switch (action.kind) {
    case Kind::none:
        return;
    case Kind::refresh:
        devices.refresh();
        return;
    case Kind::scanNetwork:
        sources_.wireless.runLANFallback(true);
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
        sources_.secondDisplay.stop();
        return;
    case Kind::openKeyboardMouseSetup:
        if (actions_.openKeyboardMouseSetup)
            actions_.openKeyboardMouseSetup();
        return;
    case Kind::checkForUpdates:
        if (actions_.checkForUpdates)
            actions_.checkForUpdates();
        return;
    case Kind::stopKeyboardMouse:
        sources_.keyboardMouse.stop(action.configID);
        return;
    default:
        break;
    }
    // The configuration may have gone since the menu was built.
    const std::optional<DeviceConfig> config = configWithID(devices.configs(), action.configID);
    if (!config)
        return;
    switch (action.kind) {
    case Kind::startDesktop:
        devices.startDesktop(*config);
        break;
    case Kind::startVirtualDesktop:
        devices.startVirtualDesktop(*config);
        break;
    case Kind::startMirror:
        devices.startMirror(*config);
        break;
    case Kind::stopSession:
        devices.stopSession(*config);
        break;
    case Kind::switchToWifi:
        sources_.wireless.switchToWifi(*config);
        break;
    case Kind::startSecondDisplay:
        if (const std::optional<ConnectedDevice> device = connectedDevice(devices.devices(), *config))
            sources_.secondDisplay.start(*device);
        break;
    case Kind::startKeyboardMouse:
        if (actions_.hasSeenKeyboardMouseSetup && !actions_.hasSeenKeyboardMouseSetup()) {
            if (actions_.openKeyboardMouseSetup)
                actions_.openKeyboardMouseSetup();
        } else if (const std::optional<ConnectedDevice> device = connectedDevice(devices.devices(), *config)) {
            sources_.keyboardMouse.start(*config, *device);
        }
        break;
    default:
        break;
    }
}

} // namespace lumarient
