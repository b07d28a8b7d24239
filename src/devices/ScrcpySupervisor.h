#pragma once

#include "tooling/Scrcpy.h"

#include <QList>
#include <QPointer>
#include <QProcess>
#include <QStringList>

namespace lumarient {

class ToolPaths;

// The one owner of every scrcpy child the app starts (screen sessions, app
// windows, audio): whoever starts one keeps only a guarded pointer to it, and
// all of them end when the app quits (a signal included) or the supervisor goes.
class ScrcpySupervisor {
public:
    explicit ScrcpySupervisor(const ToolPaths &paths) : paths_(paths) {}
    ~ScrcpySupervisor() { terminateAll(); }
    ScrcpySupervisor(const ScrcpySupervisor &) = delete;
    ScrcpySupervisor &operator=(const ScrcpySupervisor &) = delete;

    // As Scrcpy::launch: returns at once, `onExit` runs once when the child has
    // ended for any reason. Throws ShellError::launchFailed.
    QPointer<QProcess> launch(const QStringList &arguments, Scrcpy::OutputHandler onOutput, Scrcpy::ExitHandler onExit,
                              const QProcessEnvironment &extraEnvironment = {});
    // Asks every running child to end; their exit handlers run as they do.
    void terminateAll();
    int runningCount() const;

private:
    const ToolPaths &paths_;
    QList<QPointer<QProcess>> children_;
};

} // namespace lumarient
