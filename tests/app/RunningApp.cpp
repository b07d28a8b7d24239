#include "RunningApp.h"

#include "platform/UserDefaults.h"

#include <csignal>

namespace lumarient::test {

QProcessEnvironment sessionEnvironment(const PrivateBus *bus)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       bus ? bus->address() : QStringLiteral("unix:path=/nonexistent/lumarient-test-bus"));
    return environment;
}

RunningApp::RunningApp(const Options &options)
    : configDir_(options.configDir.isEmpty() ? config_.path() : options.configDir)
{
    UserDefaults defaults(configDir_ + QStringLiteral("/Lumarient.conf"));
    // Never the adb found on PATH: a real adb starts a server that outlives the test.
    defaults.setValue(QStringLiteral("adbPath"),
                      options.adbPath.isEmpty() ? QStringLiteral("/bin/false") : options.adbPath);
    if (!options.scrcpyPath.isEmpty())
        defaults.setValue(QStringLiteral("scrcpyPath"), options.scrcpyPath);
    for (auto it = options.settings.cbegin(); it != options.settings.cend(); ++it)
        defaults.setValue(it.key(), it.value());
    QProcessEnvironment environment = sessionEnvironment(options.bus);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LUMARIENT_CONFIG_DIR"), configDir_);
    environment.insert(QStringLiteral("XDG_DOWNLOAD_DIR"), config_.filePath(QStringLiteral("Downloads")));
    environment.insert(options.environment);
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral(LUMARIENT_EXECUTABLE), QStringList());
}

RunningApp::~RunningApp()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished();
    }
}

bool RunningApp::waitForLine(const QByteArray &line)
{
    while (!output_.contains(line)) {
        if (!process_.waitForReadyRead(10000))
            return false;
        output_ += process_.readAll();
    }
    return true;
}

void RunningApp::signal(int number)
{
    // An ended child's id is 0, and kill(0) would signal this whole process group.
    const qint64 pid = process_.processId();
    if (pid > 0 && process_.state() != QProcess::NotRunning)
        ::kill(pid_t(pid), number);
}

bool RunningApp::waitForExit(int ms)
{
    const bool finished = process_.waitForFinished(ms);
    output_ += process_.readAll();
    return finished;
}

CliRun runCli(const PrivateBus *bus, const QStringList &arguments)
{
    QProcess cli;
    cli.setProcessEnvironment(sessionEnvironment(bus));
    cli.start(QStringLiteral(LUMARIENT_CLI_EXECUTABLE), arguments);
    CliRun run;
    if (!cli.waitForFinished(60000)) {
        cli.kill();
        cli.waitForFinished();
        return run;
    }
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.out = cli.readAllStandardOutput();
    run.err = cli.readAllStandardError();
    return run;
}

} // namespace lumarient::test
