#include "tooling/Scrcpy.h"

#include "tooling/Shell.h"
#include "tooling/ShellError.h"
#include "tooling/ToolPaths.h"

#include <QCoreApplication>

namespace lumarient::Scrcpy {
namespace {

// Over Wi-Fi the default bit rate stutters; a fixed rate keeps the window smooth.
QStringList finished(QStringList arguments, bool isWifi)
{
    if (isWifi)
        arguments.append(QStringLiteral("--video-bit-rate=12M"));
    return arguments;
}

} // namespace

QProcessEnvironment environment(const ToolPaths &paths)
{
    QProcessEnvironment result = QProcessEnvironment::systemEnvironment();
    result.insert(QStringLiteral("ADB"), paths.adb());
    if (const std::optional<QString> server = paths.scrcpyServerPath())
        result.insert(QStringLiteral("SCRCPY_SERVER_PATH"), *server);
    return result;
}

QPointer<QProcess> launch(const ToolPaths &paths, const QStringList &arguments, OutputHandler onOutput,
                          ExitHandler onExit, const QProcessEnvironment &extraEnvironment)
{
    const QString program = paths.scrcpy();
    auto *process = new QProcess(QCoreApplication::instance());
    process->setProgram(program);
    process->setArguments(arguments);
    QProcessEnvironment childEnvironment = environment(paths);
    childEnvironment.insert(extraEnvironment);
    process->setProcessEnvironment(childEnvironment);
    process->setStandardInputFile(QProcess::nullDevice());
    if (onOutput) {
        process->setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(process, &QProcess::readyReadStandardOutput, process, [process, onOutput] {
            const QByteArray bytes = process->readAllStandardOutput();
            const QString text = Shell::decodeOutput(bytes);
            if (!text.isEmpty())
                onOutput(text);
        });
    } else {
        process->setProcessChannelMode(QProcess::ForwardedChannels);
    }

    process->start();
    if (!process->waitForStarted()) {
        const QString reason = process->errorString();
        process->disconnect();
        delete process;
        throw ShellError::launchFailed(program + QStringLiteral(": ") + reason);
    }
    QObject::connect(process, &QProcess::finished, process, [process, onExit] {
        QObject::disconnect(process, &QProcess::readyReadStandardOutput, nullptr, nullptr);
        if (onExit)
            onExit();
        process->deleteLater();
    });
    return process;
}

QStringList mirrorArguments(const QString &serial, const QString &name, bool isWifi)
{
    return finished({QStringLiteral("-s"), serial, QStringLiteral("-f"), QStringLiteral("--window-title=") + name,
                     QStringLiteral("--keyboard=uhid"), QStringLiteral("--stay-awake"),
                     QStringLiteral("--turn-screen-off")},
                    isWifi);
}

QStringList desktopArguments(const QString &serial, const QString &displayID, const QString &name, bool isWifi)
{
    return finished({QStringLiteral("-s"), serial, QStringLiteral("--display-id=") + displayID, QStringLiteral("-f"),
                     QStringLiteral("--window-title=") + name, QStringLiteral("--keyboard=uhid"),
                     QStringLiteral("--mouse=uhid"), QStringLiteral("--stay-awake"),
                     QStringLiteral("--turn-screen-off")},
                    isWifi);
}

QStringList virtualDesktopArguments(const QString &serial, const QString &resolution, const QString &name, bool isWifi)
{
    return finished({QStringLiteral("-s"), serial, QStringLiteral("--new-display=") + resolution, QStringLiteral("-f"),
                     QStringLiteral("--window-title=") + name, QStringLiteral("--keyboard=uhid"),
                     QStringLiteral("--mouse=uhid"), QStringLiteral("--stay-awake")},
                    isWifi);
}

} // namespace lumarient::Scrcpy
