#pragma once

#include "SimStore.h"

namespace phonesim {

// Plays a scrcpy window: prints the scripted output, then runs until it is
// terminated or its scripted exit time comes. Returns the exit status.
int runScrcpy(const SimStore &store, const Words &arguments);

} // namespace phonesim
