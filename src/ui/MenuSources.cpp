#include "ui/MenuSources.h"

#include "devices/DeviceManager.h"
#include "display/SecondDisplayManager.h"
#include "input/SeamlessInputManager.h"
#include "wireless/WirelessConnector.h"

namespace lumarient {

MenuState readMenuState(const MenuSources &sources)
{
    const DeviceManager &devices = sources.devices;
    MenuState state;
    state.devices = devices.devices();
    state.configs = devices.configs();
    for (auto it = devices.runningSessions().cbegin(); it != devices.runningSessions().cend(); ++it)
        state.runningSessions.insert(it.key(), it.value());
    if (!devices.lastError().isNull())
        state.lastError = devices.lastError();
    state.lanScanInProgress = sources.wireless.lanScanInProgress();
    state.secondDisplayActiveSerial = sources.secondDisplay.activeSerial();
    state.secondDisplayError = sources.secondDisplay.lastError();
    for (const QUuid &id : sources.keyboardMouse.activeConfigIDs())
        state.keyboardMouseActiveConfigIDs.insert(id);
    state.keyboardMouseError = sources.keyboardMouse.lastError();
    state.needsInputMonitoringPermission = sources.keyboardMouse.needsInputMonitoringPermission();
    state.keyboardMouseAvailable = sources.keyboardMouse.isAvailable();
    return state;
}

} // namespace lumarient
