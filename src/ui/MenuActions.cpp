#include "ui/MenuActions.h"

#include "devices/DeviceManager.h"
#include "display/SecondDisplayManager.h"
#include "input/SeamlessInputManager.h"
#include "model/DeviceSelection.h"
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

MenuActions::MenuActions(const MenuSources &sources, Actions actions) : sources_(sources), actions_(std::move(actions))
{
}

MenuState MenuActions::menuState() const
{
    MenuState state = readMenuState(sources_);
    state.canCheckForUpdates = static_cast<bool>(actions_.checkForUpdates);
    return state;
}

bool MenuActions::opensKeyboardMouseSetupInstead() const
{
    return actions_.hasSeenKeyboardMouseSetup && !actions_.hasSeenKeyboardMouseSetup();
}

void MenuActions::trigger(const MenuAction &action)
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
        if (opensKeyboardMouseSetupInstead()) {
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
