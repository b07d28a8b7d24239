#pragma once

#include "Reply.h"
#include "SimState.h"

namespace phonesim {

// Answers one `adb` command line (the arguments after the executable) the way
// adb and Android answer it, changing the simulated phones as a real command
// would.
Reply runAdb(SimState &state, const Words &arguments);

// The serial named with "-s", if any, and the command words after the global
// options.
struct AdbCommandLine {
    std::string serial;
    Words words;
};
AdbCommandLine splitAdbCommandLine(const Words &arguments);

} // namespace phonesim
