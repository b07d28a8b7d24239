#pragma once

#include "SimStore.h"

#include <QStringList>

namespace phonesim {

// Plays a scrcpy window: prints the scripted output, then runs until it is
// terminated or its scripted exit time comes. Returns the exit status.
int runScrcpy(const SimStore &store, const QStringList &arguments);

} // namespace phonesim
