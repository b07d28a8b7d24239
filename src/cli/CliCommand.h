#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

namespace lumarient::cli {

// Exit codes a script can test.
enum ExitCode { exitOk = 0, exitFailed = 1, exitUsage = 2, exitNotRunning = 3 };

// One run of lumarient-cli, as its arguments ask for it.
struct CliCommand {
    enum class Kind {
        // Answered without the app: help, version, or a usage error.
        help,
        version,
        usageError,
        // Reads the app's state and prints part of it.
        devices,
        status,
        // Calls `method` with `arguments`.
        call,
    };
    Kind kind = Kind::usageError;
    bool json = false;
    QString method;
    QVariantList arguments;
    // For usage errors: what was wrong.
    QString problem;
};

// Reads the arguments after the program name. A NAME may be given as several
// words; they are joined by single spaces.
CliCommand parseCommand(const QStringList &arguments);

QString usageText();

} // namespace lumarient::cli
