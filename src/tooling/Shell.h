#pragma once

#include "tooling/ShellError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

namespace lumarient {

// Runs short-lived commands. Each call owns its child and pipe, so calls may run
// concurrently from any thread; a call blocks its thread while the child runs.
namespace Shell {

// A hung `adb` must never stall the app: every command is stopped after this long
// unless its caller asks for another limit.
inline constexpr std::chrono::milliseconds defaultTimeLimit = std::chrono::seconds(20);

// No answer of adb comes near this; a child that prints more is stopped rather
// than let fill the app's memory.
inline constexpr qsizetype outputLimit = 4 * 1024 * 1024;

// Runs `path` with `arguments`, standard output and standard error merged into one
// pipe and standard input empty. Returns the output exactly as printed (decoded
// as UTF-8; output that is not valid UTF-8 becomes the empty text). Throws
// ShellError::launchFailed when the child cannot start and
// ShellError::nonZeroExit when it exits with a status other than 0, is killed by
// a signal (the signal number is the code), runs past `timeLimit`, prints more
// than `outputLimit` bytes or is cancelled (in these three cases the whole
// process group is killed and the output, as far as kept, ends with a line
// "Stopped: " and the reason). After cancelAll's grace, runs fail at once with
// ShellError::launchFailed.
QString run(const QString &path, const QStringList &arguments, std::chrono::milliseconds timeLimit = defaultTimeLimit);

// Stops every command of this process, for quitting: those running, and those
// started within `grace`, are killed when it has passed; later ones do not
// start. Cannot be undone.
void cancelAll(std::chrono::milliseconds grace = std::chrono::milliseconds(0));

// Strict UTF-8 decoding: invalid input gives the empty text.
QString decodeOutput(const QByteArray &bytes);

} // namespace Shell
} // namespace lumarient
