#pragma once

#include <QString>
#include <QStringList>

namespace lumarient::test {

// What a script run in namespaces of its own printed, and how it ended.
struct NamespaceRun {
    enum class Outcome {
        finished,
        // unshare is missing, namespaces cannot be made here, or the script
        // said so with exit code 77: the test should skip.
        unavailable,
        // It ran past the time limit and was killed.
        timedOut,
    };
    Outcome outcome = Outcome::unavailable;
    int exitCode = -1;
    QString output;
};

// Runs `script workFolder probe` under `unshare` with `namespaceFlags` (such as
// "-n" or "-m"), as an unprivileged user in a user namespace of its own when not
// root, with the system's sbin folders on PATH.
NamespaceRun runInOwnNamespaces(const QStringList &namespaceFlags, const QString &script, const QString &workFolder,
                                const QString &probe);

} // namespace lumarient::test
