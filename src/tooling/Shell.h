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

// Runs `path` with `arguments`, standard output and standard error merged into one
// pipe and standard input empty. Returns the output exactly as printed (decoded
// as UTF-8; output that is not valid UTF-8 becomes the empty text). Throws
// ShellError::launchFailed when the child cannot start and
// ShellError::nonZeroExit when it exits with a status other than 0, is killed by
// a signal (the signal number is the code), or runs past `timeLimit` (the whole
// process group is then killed and the output ends with a line saying so).
QString run(const QString &path, const QStringList &arguments, std::chrono::milliseconds timeLimit = defaultTimeLimit);

// Strict UTF-8 decoding: invalid input gives the empty text.
QString decodeOutput(const QByteArray &bytes);

} // namespace Shell
} // namespace lumarient
