// The wireless policy's entry points into the device manager; no-ops until that policy is built.
#include "devices/DeviceManager.h"

namespace lumarient {

void DeviceManager::learnEndpoints(const QList<ConnectedDevice> &)
{
}

void DeviceManager::runLANFallback(bool)
{
}

void DeviceManager::startBonjourBrowsers()
{
}

void DeviceManager::stopBonjourBrowsers()
{
}

void DeviceManager::startPathMonitor()
{
}

void DeviceManager::cancelPathMonitor()
{
}

void DeviceManager::handleNetworkDisruption()
{
}

} // namespace lumarient
