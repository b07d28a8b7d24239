#pragma once

#include "model/DeviceState.h"

#include <QString>

namespace lumarient {

// One entry of the adb device list. Its identity is the serial.
struct ConnectedDevice {
    // A USB serial number, a host:port endpoint or an mDNS service name.
    QString serial;
    // The "model:" value adb prints, underscores kept; may be empty.
    QString model;
    bool isWifi = false;
    DeviceState state = DeviceState::offline;

    const QString &id() const { return serial; }
    bool operator==(const ConnectedDevice &) const = default;
};

} // namespace lumarient
