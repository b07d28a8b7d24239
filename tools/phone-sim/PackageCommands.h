#pragma once

#include "Reply.h"
#include "SimState.h"

namespace phonesim {

// `dumpsys package NAME`.
Reply dumpPackage(const SimPhone &phone, const std::string &package);
// `pm grant` and friends (the words after "shell").
Reply packageManager(SimPhone &phone, const Words &words);
// `am broadcast` and `am start` (the words after "shell").
Reply activityManager(SimPhone &phone, const Words &words);
// `adb install` (the words after the serial).
Reply install(SimPhone &phone, const Words &words);
// `adb push LOCAL REMOTE` (the words after the serial).
Reply push(SimPhone &phone, const Words &words);
// `adb reverse` (the words after the serial).
Reply reverse(SimPhone &phone, const std::string &serial, const Words &words);

} // namespace phonesim
