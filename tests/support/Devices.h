#pragma once

#include "model/ConnectedDevice.h"
#include "model/DeviceConfig.h"

namespace lumarient::test {

// A configuration with a fresh id, called `name`, for phones of `model` (the
// name itself when empty). Other fields keep their defaults.
inline DeviceConfig makeConfig(const QString &name, const QString &model = {}, int wifiPort = 0)
{
    return {
        .id = QUuid::createUuid(), .name = name, .modelPattern = model.isEmpty() ? name : model, .wifiPort = wifiPort};
}

// A phone as adb lists it; a host:port serial is one on Wi-Fi.
inline ConnectedDevice phone(const QString &serial, const QString &model = {}, DeviceState state = DeviceState::ready)
{
    return {serial, model, serial.contains(QLatin1Char(':')), state};
}

} // namespace lumarient::test
