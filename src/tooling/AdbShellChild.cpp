#include "tooling/AdbShellChild.h"

#include "tooling/ShellError.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace lumarient {

AdbShellChild AdbShellChild::start(const QString &adb, const QString &serial, const QString &command)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw ShellError::launchFailed(adb + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
    FileDescriptor readEnd(pipeFds[0]);
    auto writeEnd = std::make_shared<FileDescriptor>(pipeFds[1]);
    ::fcntl(writeEnd->get(), F_SETFL, ::fcntl(writeEnd->get(), F_GETFL) | O_NONBLOCK);

    auto *process = new QProcess(QCoreApplication::instance());
    process->setProgram(adb);
    process->setArguments({QStringLiteral("-s"), serial, QStringLiteral("shell"), command});
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    const int childInput = readEnd.get();
    process->setChildProcessModifier([childInput] { ::dup2(childInput, STDIN_FILENO); });
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start();
    if (!process->waitForStarted()) {
        const QString reason = process->errorString();
        delete process;
        throw ShellError::launchFailed(adb + QStringLiteral(": ") + reason);
    }
    return {process, std::move(writeEnd)};
}

} // namespace lumarient
