#pragma once

#include "Reply.h"
#include "SimState.h"

namespace phonesim {

// Runs what follows `adb -s S shell` on the phone's own shell.
Reply runPhoneShell(SimPhone &phone, const std::string &commandLine);

} // namespace phonesim
