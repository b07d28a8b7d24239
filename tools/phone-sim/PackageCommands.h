#pragma once

#include "Reply.h"
#include "SimState.h"

#include <QStringList>

namespace phonesim {

// `dumpsys package NAME`.
Reply dumpPackage(const SimPhone &phone, const QString &package);
// `pm grant` and friends (the words after "shell").
Reply packageManager(SimPhone &phone, const QStringList &words);
// `am broadcast` and `am start` (the words after "shell").
Reply activityManager(SimPhone &phone, const QStringList &words);
// `adb install` (the words after the serial).
Reply install(SimPhone &phone, const QStringList &words);
// `adb reverse` (the words after the serial).
Reply reverse(SimPhone &phone, const QString &serial, const QStringList &words);

} // namespace phonesim
