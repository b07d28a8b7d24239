// Runs the real DeviceManager against phone-sim and prints, for both ways of
// asking adb (one adb process per command, and the adb server's socket with a
// simulated server), min/median/max of:
// - one refresh with 1, 8, 32 and 64 ready phones: its time (from refresh() to
//   its main-thread part being applied), the time until the companion upkeep it
//   starts has finished (no backlog when that stays under the 3 s poll), the CPU
//   time it costs the app and its adb children, and the adb processes it starts;
// - the CPU time and adb processes the idle app (no session, the real 3 s poll)
//   spends per minute with 1 and 8 phones, measured over `--idle-seconds` (20 by
//   default) and scaled; `--rounds` (3) runs of each.
// The simulated server's own CPU is not counted, as the real adb server's is not.

#include "RefreshWait.h"
#include "SimStore.h"
#include "devices/DeviceManager.h"
#include "devices/ScrcpySupervisor.h"
#include "platform/Clock.h"
#include "platform/Sleeper.h"
#include "platform/UserDefaults.h"
#include "support/FreePort.h"
#include "tooling/ADB.h"
#include "tooling/AdbServerClient.h"
#include "tooling/ToolPaths.h"
#include "wireless/WirelessConnector.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace lumarient;
using lumarient::bench::waitForRefresh;
using namespace std::chrono_literals;

namespace {

// CPU seconds of this process and of its children that have been reaped.
double cpuSeconds()
{
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

// Runs the event loop (sleeping while there is nothing to do) for `duration`.
void runFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

enum class Path { processes, server };

const char *name(Path path)
{
    return path == Path::server ? "server   " : "processes";
}

// A private simulator folder with `phones` ready phones, a settings file that
// points the app at it and, for the server path, the simulator's adb server on
// a port of its own (else that port has no listener and adb runs as processes).
struct World {
    World(int phones, Path path)
    {
        QFile::link(QStringLiteral(PHONESIM_EXECUTABLE), folder.filePath(QStringLiteral("adb")));
        qputenv("LUMARIENT_PHONESIM_DIR", folder.path().toLocal8Bit());
        const std::uint16_t port = test::freeLoopbackPort();
        qputenv("ANDROID_ADB_SERVER_PORT", QByteArray::number(port));
        phonesim::SimStore(folder.path().toStdString()).update([&](phonesim::SimState &state) {
            for (int index = 0; index < phones; ++index) {
                phonesim::SimPhone phone;
                phone.usbSerial = "SERIAL" + std::to_string(index);
                phone.model = "Model_" + std::to_string(index);
                phone.props["ro.product.model"] = phone.model;
                state.phones.push_back(phone);
            }
        });
        defaults.setValue(QStringLiteral("adbPath"), folder.filePath(QStringLiteral("adb")));
        if (path == Path::server) {
            server.start(QStringLiteral(PHONESIM_EXECUTABLE), {QStringLiteral("adb-server"), QString::number(port)});
            for (int attempt = 0; attempt < 200; ++attempt) {
                if (AdbServerClient(port).hostQuery("host:version").outcome == AdbServerClient::Outcome::answered)
                    break;
                std::this_thread::sleep_for(10ms);
            }
        }
    }
    ~World()
    {
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished();
        }
    }

    // The size of the simulator's log, which grows with every adb process and
    // server request; a stat, so that watching it costs next to nothing.
    qint64 logged() const { return QFileInfo(folder.filePath(QStringLiteral("invocations.jsonl"))).size(); }
    int adbProcesses() const
    {
        int count = 0;
        for (const phonesim::SimInvocation &invocation : store.invocations())
            count += invocation.tool == "adb" ? 1 : 0;
        return count;
    }

    QTemporaryDir folder;
    phonesim::SimStore store{folder.path().toStdString()};
    QTemporaryDir settings;
    UserDefaults defaults{settings.filePath(QStringLiteral("Lumarient.conf"))};
    ToolPaths paths{defaults, folder.path()};
    ADB adb{paths, ThreadSleeper::instance()};
    ScrcpySupervisor scrcpy{paths};
    QProcess server;
};

struct Spread {
    double min = 0;
    double median = 0;
    double max = 0;
};

Spread spread(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

std::string text(const Spread &figures, const char *unit)
{
    char line[96];
    std::snprintf(line, sizeof line, "%.1f/%.1f/%.1f%s", figures.min, figures.median, figures.max, unit);
    return line;
}

// Runs the loop until the simulator's log has not grown for `quiet`; returns
// the time from `started` to its last growth.
double settle(const World &world, std::chrono::steady_clock::time_point started, std::chrono::milliseconds quiet)
{
    qint64 lines = world.logged();
    auto lastGrowth = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - lastGrowth < quiet) {
        runFor(10ms);
        const qint64 now = world.logged();
        if (now != lines) {
            lines = now;
            lastGrowth = std::chrono::steady_clock::now();
        }
    }
    return std::chrono::duration<double, std::milli>(lastGrowth - started).count();
}

void measureRefresh(int phones, Path path, int runs)
{
    World world(phones, path);
    DeviceManager manager({world.paths, world.adb, world.defaults, SteadyClock::instance(), ThreadSleeper::instance(),
                           world.scrcpy, 0ms});
    // The first refresh adopts the phones; measure the steady state after it.
    waitForRefresh(manager);
    settle(world, std::chrono::steady_clock::now(), 500ms);

    std::vector<double> millis, upkeep, cpu, processes;
    for (int run = 0; run < runs; ++run) {
        const int processesBefore = world.adbProcesses();
        const double cpuBefore = cpuSeconds();
        const auto started = std::chrono::steady_clock::now();
        manager.refresh();
        waitForRefresh(manager);
        millis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
        // The companion upkeep each refresh starts, until it is done.
        upkeep.push_back(settle(world, started, 300ms));
        cpu.push_back((cpuSeconds() - cpuBefore) * 1000);
        processes.push_back(world.adbProcesses() - processesBefore);
    }
    std::printf("%s refresh, %2d phone%s: time %s  upkeep done %s  CPU %s  adb processes %s  (%d runs)\n", name(path),
                phones, phones == 1 ? " " : "s", text(spread(millis), "ms").c_str(), text(spread(upkeep), "ms").c_str(),
                text(spread(cpu), "ms").c_str(), text(spread(processes), "").c_str(), runs);
    std::fflush(stdout);
}

void measureIdle(int phones, Path path, int seconds, int rounds)
{
    std::vector<double> cpuPerMinute, processesPerMinute;
    for (int round = 0; round < rounds; ++round) {
        World world(phones, path);
        DeviceManager manager(
            {world.paths, world.adb, world.defaults, SteadyClock::instance(), ThreadSleeper::instance(), world.scrcpy});
        // The scan decision follows every tick, as in the app.
        WirelessConnector wireless({manager, world.adb, world.defaults, SteadyClock::instance()});
        waitForRefresh(manager);
        settle(world, std::chrono::steady_clock::now(), 1000ms);
        const int processesBefore = world.adbProcesses();
        const double cpuBefore = cpuSeconds();
        runFor(std::chrono::seconds(seconds));
        cpuPerMinute.push_back((cpuSeconds() - cpuBefore) * 60.0 / seconds * 1000);
        processesPerMinute.push_back((world.adbProcesses() - processesBefore) * 60.0 / seconds);
    }
    std::printf("%s idle app, %d phone%s, no session: CPU %s per minute  adb processes %s per minute  (%d x %d s)\n",
                name(path), phones, phones == 1 ? " " : "s", text(spread(cpuPerMinute), "ms").c_str(),
                text(spread(processesPerMinute), "").c_str(), rounds, seconds);
    std::fflush(stdout);
}

// From the moment the adb server lists a newly plugged phone to the moment the
// manager's device list (which the menu shows) holds it; the phone is unplugged
// again between runs.
void measurePlugIn(Path path, int runs)
{
    World world(1, path);
    DeviceManager manager(
        {world.paths, world.adb, world.defaults, SteadyClock::instance(), ThreadSleeper::instance(), world.scrcpy});
    waitForRefresh(manager);
    settle(world, std::chrono::steady_clock::now(), 500ms);
    const auto listed = [&manager](bool wanted) {
        const auto has = [&manager] {
            return std::any_of(manager.devices().begin(), manager.devices().end(),
                               [](const ConnectedDevice &device) { return device.serial == QLatin1String("PLUGGED"); });
        };
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (has() != wanted && std::chrono::steady_clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        return has() == wanted;
    };
    std::vector<double> millis;
    for (int run = 0; run < runs; ++run) {
        world.store.update([](phonesim::SimState &state) {
            phonesim::SimPhone phone;
            phone.usbSerial = "PLUGGED";
            phone.model = "Plugged";
            phone.props["ro.product.model"] = phone.model;
            state.phones.push_back(phone);
        });
        const auto plugged = std::chrono::steady_clock::now();
        if (!listed(true))
            break;
        millis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - plugged).count());
        world.store.update([](phonesim::SimState &state) { state.phones.pop_back(); });
        listed(false);
        settle(world, std::chrono::steady_clock::now(), 300ms);
    }
    if (millis.empty()) {
        std::printf("%s plugged phone: never listed\n", name(path));
        return;
    }
    std::printf("%s plugged phone in the device list: %s after the server lists it  (%zu runs)\n", name(path),
                text(spread(millis), "ms").c_str(), millis.size());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    int idleSeconds = 20;
    int rounds = 3;
    for (int index = 1; index + 1 < argc; ++index) {
        if (std::strcmp(argv[index], "--idle-seconds") == 0)
            idleSeconds = std::max(1, std::atoi(argv[index + 1]));
        if (std::strcmp(argv[index], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[index + 1]));
    }
    QCoreApplication application(argc, argv);
    for (Path path : {Path::processes, Path::server}) {
        for (int phones : {1, 8, 32, 64})
            measureRefresh(phones, path, 10);
    }
    for (Path path : {Path::processes, Path::server})
        measurePlugIn(path, 10);
    for (Path path : {Path::processes, Path::server}) {
        for (int phones : {1, 8})
            measureIdle(phones, path, idleSeconds, rounds);
    }
    return 0;
}
