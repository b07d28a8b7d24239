#pragma once

#include "Reply.h"
#include "SimState.h"

namespace phonesim {

// The activity manager's tasks: `dumpsys activity activities`, `am display
// move-stack`, `am stack move-task`, `am task focus|resize` and `monkey`.
Reply dumpActivities(const SimPhone &phone);
// "am display ...", "am stack ...", "am task ...".
Reply taskCommand(SimPhone &phone, const Words &words);
// "monkey -p PACKAGE -c CATEGORY COUNT": brings the app's task to the front of
// the main display, starting one when it has none.
Reply monkey(SimPhone &phone, const Words &words);

// What starting the app on display `displayId` does (scrcpy's --start-app).
void startAppOnDisplay(SimPhone &phone, const std::string &package, int displayId);
// A removed display takes its tasks with it (scrcpy's displays destroy their content).
void removeDisplayTasks(SimPhone &phone, int displayId);

} // namespace phonesim
