#pragma once

#include "platform/FileDescriptor.h"

#include <QProcess>
#include <QString>

#include <memory>

namespace lumarient {

// A long-lived `adb -s SERIAL shell COMMAND` child for a phone-side program we
// talk to through its standard input: we write that input through a pipe that
// never blocks, and read its merged output. The process belongs to the
// application object and deletes itself once it has finished.
struct AdbShellChild {
    QProcess *process = nullptr;
    std::shared_ptr<FileDescriptor> input;

    // Started, or none with the reason thrown as a ShellError (launchFailed).
    static AdbShellChild start(const QString &adb, const QString &serial, const QString &command);
};

} // namespace lumarient
