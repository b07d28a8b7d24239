#pragma once

#include "SimStore.h"

#include <string>

namespace phonesim {

// The phone's input server behind `adb shell`: prints what the phone's script
// says (normally the ready line), then reads 8-byte records from standard input
// and appends each, decoded, to the store's input record log. Ends at the end
// of its input, when terminated, when its phone is gone, or as scripted.
int runInputServer(const SimStore &store, const std::string &usbSerial);

} // namespace phonesim
