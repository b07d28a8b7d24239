#include "model/DeviceSelection.h"

namespace lumarient {
namespace {

QList<ConnectedDevice> inState(const QList<ConnectedDevice> &devices, DeviceState state)
{
    QList<ConnectedDevice> found;
    for (const ConnectedDevice &device : devices) {
        if (device.state == state)
            found.append(device);
    }
    return found;
}

} // namespace

QList<ConnectedDevice> readyDevices(const QList<ConnectedDevice> &devices)
{
    return inState(devices, DeviceState::ready);
}

QList<ConnectedDevice> pendingDevices(const QList<ConnectedDevice> &devices)
{
    return inState(devices, DeviceState::unauthorized);
}

std::optional<ConnectedDevice> connectedDevice(const QList<ConnectedDevice> &devices, const DeviceConfig &config)
{
    std::optional<ConnectedDevice> wireless;
    for (const ConnectedDevice &device : devices) {
        if (device.state != DeviceState::ready || !matches(config, device.model))
            continue;
        if (!device.isWifi)
            return device;
        if (!wireless)
            wireless = device;
    }
    return wireless;
}

std::optional<ConnectedDevice> wifiDevice(const QList<ConnectedDevice> &devices, const DeviceConfig &config)
{
    for (const ConnectedDevice &device : devices) {
        if (device.state == DeviceState::ready && device.isWifi && matches(config, device.model))
            return device;
    }
    return std::nullopt;
}

QString displayName(const QList<DeviceConfig> &configs, const ConnectedDevice &device)
{
    for (const DeviceConfig &config : configs) {
        if (matches(config, device.model))
            return config.name;
    }
    QString name = device.model;
    return name.replace(QLatin1Char('_'), QLatin1Char(' '));
}

} // namespace lumarient
