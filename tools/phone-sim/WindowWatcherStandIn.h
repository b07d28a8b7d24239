#pragma once

#include "SimStore.h"

#include <string>

namespace phonesim {

// The phone's window watcher behind `adb shell`: prints what the phone's script
// says (normally the ready line), logs every line it reads from standard input
// to the store's watcher input log, turns freeform support on when told
// "watch 0" (as scripted), and prints whatever tests append to the watcher
// output, as it arrives. Ends at the end of its input, when terminated, when
// its phone is gone, or as scripted.
int runWindowWatcher(const SimStore &store, const std::string &usbSerial);

} // namespace phonesim
