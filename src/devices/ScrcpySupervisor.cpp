#include "devices/ScrcpySupervisor.h"

namespace lumarient {

QPointer<QProcess> ScrcpySupervisor::launch(const QStringList &arguments, Scrcpy::OutputHandler onOutput,
                                            Scrcpy::ExitHandler onExit, const QProcessEnvironment &extraEnvironment)
{
    // Ended children delete themselves; forget them before counting a new one.
    children_.removeIf([](const QPointer<QProcess> &child) { return child.isNull(); });
    const QPointer<QProcess> child =
        Scrcpy::launch(paths_, arguments, std::move(onOutput), std::move(onExit), extraEnvironment);
    children_.append(child);
    return child;
}

void ScrcpySupervisor::terminateAll()
{
    for (const QPointer<QProcess> &child : std::as_const(children_)) {
        if (child && child->state() != QProcess::NotRunning)
            child->terminate();
    }
}

int ScrcpySupervisor::runningCount() const
{
    int running = 0;
    for (const QPointer<QProcess> &child : children_)
        running += child && child->state() != QProcess::NotRunning ? 1 : 0;
    return running;
}

} // namespace lumarient
