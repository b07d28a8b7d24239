#include "support/HeadlessMutter.h"

#include "support/TimeScale.h"

#include <QDBusConnectionInterface>
#include <QFile>

#include <chrono>
#include <thread>

namespace lumarient::test {

namespace {
const QString monitorSize = QStringLiteral("1280x720");
}

HeadlessMutter::HeadlessMutter()
{
    if (!bus_.running()) {
        problem_ = QStringLiteral("no private bus (dbus-daemon missing?)");
        return;
    }
    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_.path());
    environment_.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_.address());
    // Settings stay in memory, off the user's own store.
    environment_.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    environment_.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment_.remove(QStringLiteral("DISPLAY"));
    environment_.remove(QStringLiteral("PIPEWIRE_REMOTE"));

    const QString socket = runtime_.filePath(QStringLiteral("pipewire-0"));
    if (!launch(pipewire_, QStringLiteral("pipewire"), {}) ||
        !waitFor([&] { return QFile::exists(socket); }, QStringLiteral("PipeWire"))) {
        return;
    }
    if (!launch(wireplumber_, QStringLiteral("wireplumber"), {})) {
        return;
    }
    if (!launch(mutter_, QStringLiteral("mutter"),
                {QStringLiteral("--headless"), QStringLiteral("--wayland"), QStringLiteral("--no-x11"),
                 QStringLiteral("--virtual-monitor"), monitorSize})) {
        return;
    }
    QDBusConnection probe = bus_.connect(QStringLiteral("headless-mutter-probe"));
    running_ = waitFor(
        [&] {
            return probe.interface()->isServiceRegistered(QStringLiteral("org.gnome.Mutter.ScreenCast")) &&
                   probe.interface()->isServiceRegistered(QStringLiteral("org.gnome.Mutter.RemoteDesktop"));
        },
        QStringLiteral("mutter's screen cast"));
}

HeadlessMutter::~HeadlessMutter()
{
    // The compositor first: its streams end before PipeWire does.
    for (QProcess *process : {&mutter_, &wireplumber_, &pipewire_}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished(2000);
            }
        }
    }
}

bool HeadlessMutter::launch(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setProcessEnvironment(environment_);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(runtime_.filePath(program + QStringLiteral(".log")));
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        problem_ = program + QStringLiteral(" cannot be started");
        return false;
    }
    return true;
}

bool HeadlessMutter::waitFor(const std::function<bool()> &condition, const QString &what)
{
    const auto deadline = std::chrono::steady_clock::now() + scaled(std::chrono::seconds(20));
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        for (QProcess *process : {&pipewire_, &wireplumber_, &mutter_}) {
            if (process->state() == QProcess::Running && process->waitForFinished(0)) {
                problem_ = process->program() + QStringLiteral(" exited at start");
                return false;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    problem_ = what + QStringLiteral(" did not come up in time");
    return false;
}

} // namespace lumarient::test
