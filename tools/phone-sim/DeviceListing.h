#pragma once

#include "SimState.h"

#include <optional>

namespace phonesim {

// A transport the adb server has to a phone: its cable or a network connection.
struct Transport {
    std::string serial;
    // Index into SimState::phones, or -1 for a network connection whose phone
    // no longer listens there.
    int phoneIndex = -1;
    bool isWifi = false;
    std::string state;
};

std::vector<Transport> transports(const SimState &state);

// The phone with cable serial `usbSerial` while adb still reaches it; none once it is gone.
std::optional<SimPhone> reachablePhone(const SimState &state, const std::string &usbSerial);

// The endpoint on which a phone's adbd listens over Wi-Fi, or "" when it does not.
std::string wifiEndpoint(const SimPhone &phone);

// What `adb devices` (`-l` for the long form) prints.
std::string deviceListing(const SimState &state, bool longForm);

} // namespace phonesim
