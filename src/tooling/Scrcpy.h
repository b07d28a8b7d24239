#pragma once

#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace lumarient {

class ToolPaths;

// Starts the scrcpy windows that show a phone's screen.
namespace Scrcpy {

using OutputHandler = std::function<void(const QString &)>;
using ExitHandler = std::function<void()>;

// Starts scrcpy with `arguments` and returns at once. The child is a QProcess
// living on the calling thread, which must run a Qt event loop (the main
// thread): its output and exit handlers run there, so callers run slow work
// from them in the background. With `onOutput`, output chunks are passed on as
// they arrive (a chunk that is not valid UTF-8 is dropped); without it the
// child writes to the application's own standard output and error. `onExit`
// runs once, after the child has exited for any reason, and the process object
// deletes itself afterwards (hence the guarded pointer). Throws
// ShellError::launchFailed when the child cannot start; no handler runs then.
// `extraEnvironment` adds to (or replaces in) the environment below.
QPointer<QProcess> launch(const ToolPaths &paths, const QStringList &arguments, OutputHandler onOutput,
                          ExitHandler onExit, const QProcessEnvironment &extraEnvironment = {});

// The environment scrcpy runs with: ours, with "ADB" naming our adb and, when
// the installation has one, "SCRCPY_SERVER_PATH" naming its server file.
QProcessEnvironment environment(const ToolPaths &paths);

// The argument lists of the three screen-session kinds.
QStringList mirrorArguments(const QString &serial, const QString &name, bool isWifi);
QStringList desktopArguments(const QString &serial, const QString &displayID, const QString &name, bool isWifi);
QStringList virtualDesktopArguments(const QString &serial, const QString &resolution, const QString &name, bool isWifi);

} // namespace Scrcpy
} // namespace lumarient
