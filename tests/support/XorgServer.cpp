#include "support/XorgServer.h"

#include <xcb/xcb.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace lumarient::test {

namespace {

const char *xorgConfig = R"(Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 7680 4320
  EndSubSection
EndSection
)";

bool displayNumberLooksFree(int number)
{
    return !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) &&
           !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number));
}

} // namespace

XorgServer::XorgServer()
{
    if (!QFile::exists(QStringLiteral("/usr/lib/xorg/modules/drivers/dummy_drv.so"))) {
        problem_ = QStringLiteral("the Xorg dummy driver is not installed");
        return;
    }
    QFile config(folder_.filePath(QStringLiteral("xorg.conf")));
    if (!config.open(QIODevice::WriteOnly) || config.write(xorgConfig) < 0) {
        problem_ = QStringLiteral("cannot write the server configuration");
        return;
    }
    config.close();
    // Spread over a range so that several test programs at once rarely collide.
    const int first = 60 + int(getpid() % 200);
    for (int number = first; number < first + 40; ++number) {
        if (displayNumberLooksFree(number) && launch(number)) {
            break;
        }
    }
    if (pid_ <= 0) {
        return;
    }
    xrandr(
        {QStringLiteral("--output"), QStringLiteral("DUMMY0"), QStringLiteral("--mode"), QStringLiteral("1920x1080")});
    xrandr({QStringLiteral("--fb"), QStringLiteral("1920x1080")});
}

bool XorgServer::launch(int displayNumber)
{
    displayName_ = ":" + QByteArray::number(displayNumber);
    const QByteArray configPath = folder_.filePath(QStringLiteral("xorg.conf")).toLocal8Bit();
    const QByteArray logPath = folder_.filePath(QStringLiteral("xorg.log")).toLocal8Bit();
    const QByteArray outputPath = folder_.filePath(QStringLiteral("xorg.out")).toLocal8Bit();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const char *arguments[] = {"Xorg",    displayName_.constData(), "-noreset", "-nolisten",         "tcp",
                               "-config", configPath.constData(),   "-logfile", logPath.constData(), nullptr};
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "Xorg", &actions, nullptr, const_cast<char **>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        problem_ = QStringLiteral("Xorg cannot be started");
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            problem_ = QStringLiteral("Xorg exited at start");
            return false;
        }
        xcb_connection_t *connection = xcb_connect(displayName_.constData(), nullptr);
        const bool up = xcb_connection_has_error(connection) == 0;
        xcb_disconnect(connection);
        if (up) {
            pid_ = pid;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    problem_ = QStringLiteral("Xorg did not accept connections in time");
    return false;
}

void XorgServer::terminate()
{
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

QString XorgServer::xrandr(const QStringList &arguments) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(displayName_));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("xrandr"), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0) {
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QStringList XorgServer::monitorNames() const
{
    // " 1: Lumarient Display 1 2400/500x1080/225+1920+0  none" -> the name before the geometry.
    static const QRegularExpression line(QStringLiteral(R"(^\s*\d+:\s+[+*]*(.+?)\s+\d+/\d+x\d+/\d+[+-]\d+[+-]\d+)"));
    QStringList names;
    for (const QString &entry : xrandr({QStringLiteral("--listmonitors")}).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(entry);
        if (match.hasMatch()) {
            names.append(match.captured(1));
        }
    }
    return names;
}

XorgServer *XorgSuite::server_ = nullptr;

} // namespace lumarient::test
