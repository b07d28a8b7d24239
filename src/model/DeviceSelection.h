#pragma once

#include "model/ConnectedDevice.h"
#include "model/DeviceConfig.h"

#include <QList>

#include <optional>

namespace lumarient {

// Which listed phone serves which configuration. Plain functions over the device
// list, so the manager and every view that shows it agree.

// Ready phones, in adb's order.
QList<ConnectedDevice> readyDevices(const QList<ConnectedDevice> &devices);
// Phones waiting for the user to allow debugging, in adb's order.
QList<ConnectedDevice> pendingDevices(const QList<ConnectedDevice> &devices);

// The ready phone of the configuration's model; a cabled one before a wireless one.
std::optional<ConnectedDevice> connectedDevice(const QList<ConnectedDevice> &devices, const DeviceConfig &config);
// The first ready wireless phone of the configuration's model.
std::optional<ConnectedDevice> wifiDevice(const QList<ConnectedDevice> &devices, const DeviceConfig &config);

// The name of the first configuration of the phone's model, else the model with
// underscores shown as spaces.
QString displayName(const QList<DeviceConfig> &configs, const ConnectedDevice &device);

} // namespace lumarient
