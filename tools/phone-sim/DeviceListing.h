#pragma once

#include "SimState.h"

#include <QString>

namespace phonesim {

// A transport the adb server has to a phone: its cable or a network connection.
struct Transport {
    QString serial;
    // Index into SimState::phones, or -1 for a network connection whose phone
    // no longer listens there.
    int phoneIndex = -1;
    bool isWifi = false;
    QString state;
};

QList<Transport> transports(const SimState &state);

// What `adb devices` (`-l` for the long form) prints.
QString deviceListing(const SimState &state, bool longForm);

} // namespace phonesim
