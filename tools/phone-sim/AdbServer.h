#pragma once

#include "SimStore.h"

#include <string>

namespace phonesim {

// The adb server's socket side, answering from the simulated state: the device
// listing (once, or tracked with a push at every change), the transport to a
// phone and its port reversals. Listens on 127.0.0.1:`port` until killed.
// A rule with tool "adb-server" whose command prefix matches a service sends its
// output as raw bytes instead, then closes the connection when its exit code is
// not 0 or else leaves it open and silent (a stalled server).
int runAdbServer(const SimStore &store, int port);

// The listing the server sends: `adb devices -l` without its header.
std::string serverListing(const SimState &state);

} // namespace phonesim
