// Start-up and idle memory of the real `lumarient` binary on a real X server,
// with a tray host of its own on a private session bus:
//  - start to a tray menu the host can read: from starting the process to the
//    first GetLayout answer of the item's menu that holds the phone's entries;
//  - the same for a phone the app has not seen, which it probes and adopts first;
//  - start to the "[Lumarient] started" line;
//  - resident memory of the idle app with one simulated phone after 20 s.
// Every figure is given as min / median / max over several runs, with the load
// average before and after. Run it inside a loopback-only namespace. Arguments
// name builds of the app to measure instead of this tree's; several take turns,
// for a fair comparison on a busy machine.

#include "SimStore.h"
#include "StatusNotifierHost.h"
#include "model/DeviceConfig.h"
#include "platform/UserDefaults.h"
#include "support/PrivateBus.h"
#include "support/XorgServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <vector>

using lumarient::bench::StatusNotifierHost;
using lumarient::test::PrivateBus;
using lumarient::test::XorgServer;

namespace {

constexpr int startRuns = 9;
constexpr int memoryRuns = 3;
constexpr int idleSeconds = 20;
// Shown only in a phone's section of the menu.
const QString phoneEntry = QStringLiteral("Mirror Screen");

// One start of the app against one simulated phone, a fresh session bus and tray.
class AppLaunch {
public:
    // A returning user's phone is `configured`; a new phone is probed and adopted first.
    AppLaunch(const QString &executable, const XorgServer &server, int run, bool configured)
        : executable_(executable), host_(bus_.connect(QStringLiteral("host%1").arg(run)), phoneEntry)
    {
        const QString adb = sim_.filePath(QStringLiteral("adb"));
        QFile::link(QStringLiteral(PHONESIM_EXECUTABLE), adb);
        phonesim::SimStore(sim_.path().toStdString()).update([](phonesim::SimState &state) {
            phonesim::SimPhone phone;
            phone.usbSerial = "R58M123ABC";
            phone.model = "SM_G973F";
            state.phones.push_back(phone);
        });
        lumarient::UserDefaults defaults(config_.filePath(QStringLiteral("Lumarient.conf")));
        defaults.setValue(QStringLiteral("adbPath"), adb);
        defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
        if (configured) {
            lumarient::DeviceConfig config;
            config.id = QUuid::createUuid();
            config.name = QStringLiteral("Galaxy S10");
            config.modelPattern = QStringLiteral("SM_G973F");
            config.wifiPort = 5555;
            lumarient::DeviceConfig::save(defaults, {config});
        }

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LUMARIENT_PHONESIM_DIR"), sim_.path());
        environment.insert(QStringLiteral("LUMARIENT_CONFIG_DIR"), config_.path());
        environment.insert(QStringLiteral("XDG_DOWNLOAD_DIR"), config_.filePath(QStringLiteral("Downloads")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(server.displayName()));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_.address());
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("x11"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        app_.setProcessEnvironment(environment);
        app_.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&app_, &QProcess::readyRead, [this] {
            output_ += app_.readAll();
            if (!startedMs_ && output_.contains("[Lumarient] started"))
                startedMs_ = millis();
        });
        QObject::connect(&host_, &StatusNotifierHost::menuBecameReady, [this] { menuMs_ = millis(); });
    }

    ~AppLaunch()
    {
        app_.terminate();
        if (!app_.waitForFinished(5000)) {
            app_.kill();
            app_.waitForFinished();
        }
    }

    bool ready() const { return bus_.running() && host_.isServing(); }

    // Starts the app and runs the event loop until the tray host has read the
    // phone in its menu, or 10 s have passed.
    bool startAndWaitForMenu()
    {
        clock_.start();
        app_.start(executable_, QStringList());
        spinUntil([this] { return menuMs_.has_value() || app_.state() == QProcess::NotRunning; }, 10000);
        return menuMs_.has_value();
    }

    void spinFor(int ms)
    {
        spinUntil([] { return false; }, ms);
    }

    std::optional<double> menuMs() const { return menuMs_; }
    std::optional<double> startedMs() const { return startedMs_; }
    qint64 pid() const { return app_.processId(); }
    const QByteArray &output() const { return output_; }
    const StatusNotifierHost &host() const { return host_; }

private:
    double millis() const { return double(clock_.nsecsElapsed()) / 1e6; }

    static void spinUntil(const std::function<bool()> &condition, int ms)
    {
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(ms);
        while (!condition() && limit.isActive())
            loop.processEvents(QEventLoop::WaitForMoreEvents);
    }

    QString executable_;
    PrivateBus bus_;
    StatusNotifierHost host_;
    QTemporaryDir sim_;
    QTemporaryDir config_;
    QProcess app_;
    QElapsedTimer clock_;
    QByteArray output_;
    std::optional<double> startedMs_;
    std::optional<double> menuMs_;
};

// Fields of /proc/<pid>/smaps_rollup in KiB ("Rss", "Pss", "Anonymous", ...).
std::map<QByteArray, double> memoryRollup(qint64 pid)
{
    std::map<QByteArray, double> fields;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return fields;
    for (const QByteArray &line : rollup.readAll().split('\n')) {
        const int colon = line.indexOf(':');
        const QList<QByteArray> value = line.mid(colon + 1).simplified().split(' ');
        if (colon > 0 && value.size() == 2 && value[1] == "kB")
            fields[line.left(colon)] = value[0].toDouble();
    }
    return fields;
}

// How many shared objects the process has mapped.
int sharedObjectCount(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return -1;
    QSet<QByteArray> objects;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const int slash = line.indexOf('/');
        if (slash > 0 && line.contains(".so"))
            objects.insert(line.mid(slash));
    }
    return int(objects.size());
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("?");
}

// One build of the app under measurement, and its figures.
struct Build {
    QString executable;
    std::vector<double> menuMillis{};
    std::vector<double> newPhoneMenuMillis{};
    std::vector<double> startedMillis{};
    std::vector<double> resident{};
    std::vector<double> proportional{};
    std::vector<double> anonymous{};
    int objects = -1;
};

void printFigure(const char *name, std::vector<double> values, const char *unit, double scale = 1.0)
{
    if (values.empty()) {
        std::printf("%s: no figures\n", name);
        return;
    }
    std::sort(values.begin(), values.end());
    std::printf("%s: min %.1f %s, median %.1f %s, max %.1f %s (%zu runs)\n", name, values.front() * scale, unit,
                values[values.size() / 2] * scale, unit, values.back() * scale, unit, values.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    std::vector<Build> builds;
    for (int index = 1; index < argc; ++index)
        builds.push_back(Build{QString::fromLocal8Bit(argv[index])});
    if (builds.empty())
        builds.push_back(Build{QStringLiteral(LUMARIENT_EXECUTABLE)});
    std::printf("load average before: %s\n", loadAverage().constData());
    XorgServer server;
    if (!server.isRunning()) {
        std::fprintf(stderr, "no X server: %s\n", qPrintable(server.problem()));
        return 1;
    }

    // Builds take turns, so that a change in the machine's load falls on each alike.
    int launches = 0;
    for (int run = 0; run < 2 * startRuns; ++run) {
        const bool configured = run % 2 == 0;
        for (Build &build : builds) {
            AppLaunch launch(build.executable, server, launches++, configured);
            if (!launch.ready() || !launch.startAndWaitForMenu()) {
                std::fprintf(stderr, "the tray host did not read the phone in the menu (item %s, labels %s)\n%s\n",
                             launch.host().itemRegistered() ? "registered" : "not registered",
                             qPrintable(launch.host().labels().join(QStringLiteral(" | "))),
                             launch.output().constData());
                return 1;
            }
            (configured ? build.menuMillis : build.newPhoneMenuMillis).push_back(*launch.menuMs());
            if (configured && launch.startedMs())
                build.startedMillis.push_back(*launch.startedMs());
        }
    }
    for (int run = 0; run < memoryRuns; ++run) {
        for (Build &build : builds) {
            AppLaunch launch(build.executable, server, launches++, true);
            if (!launch.ready() || !launch.startAndWaitForMenu()) {
                std::fprintf(stderr, "the app did not start\n%s\n", launch.output().constData());
                return 1;
            }
            launch.spinFor(idleSeconds * 1000);
            std::map<QByteArray, double> rollup = memoryRollup(launch.pid());
            build.resident.push_back(rollup["Rss"]);
            build.proportional.push_back(rollup["Pss"]);
            build.anonymous.push_back(rollup["Anonymous"]);
            build.objects = sharedObjectCount(launch.pid());
        }
    }

    for (const Build &build : builds) {
        std::printf("%s\n", qPrintable(build.executable));
        printFigure("  start to tray menu read by a tray host, with the phone", build.menuMillis, "ms");
        printFigure("  the same with a phone it has not seen (probed and adopted first)", build.newPhoneMenuMillis,
                    "ms");
        printFigure("  start to the \"[Lumarient] started\" line", build.startedMillis, "ms");
        printFigure("  resident memory, idle with one phone after 20 s", build.resident, "MiB", 1.0 / 1024);
        printFigure("    of it anonymous (heap, stacks, relocated data)", build.anonymous, "MiB", 1.0 / 1024);
        printFigure("    proportional set size", build.proportional, "MiB", 1.0 / 1024);
        std::printf("  shared objects mapped by the idle app: %d\n", build.objects);
    }
    std::printf("load average after: %s\n", loadAverage().constData());
    return 0;
}
