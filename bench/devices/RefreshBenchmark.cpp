// Runs the real DeviceManager against phone-sim and prints:
// - the median and 90th percentile time of one refresh (from refresh() to its
//   main-thread part being applied) and the CPU time one refresh costs the app
//   and its adb children, with 1 and with 8 ready phones;
// - the CPU time the idle app (1 phone, no session, the real 3 s poll) spends
//   per minute, measured over a run of `--idle-seconds` (30 by default) and scaled.

#include "SimStore.h"
#include "devices/DeviceManager.h"
#include "devices/ScrcpySupervisor.h"
#include "platform/Clock.h"
#include "platform/Sleeper.h"
#include "platform/UserDefaults.h"
#include "tooling/ADB.h"
#include "tooling/ToolPaths.h"
#include "wireless/WirelessConnector.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace lumarient;
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

// Runs the event loop until the manager's current refresh has been applied.
void waitForRefresh(DeviceManager &manager)
{
    if (!manager.isRefreshing())
        return;
    QEventLoop loop;
    QObject::connect(&manager, &DeviceManager::refreshFinished, &loop, &QEventLoop::quit);
    loop.exec();
}

// A private simulator folder with `phones` ready phones and a settings file
// that points the app at it.
struct World {
    explicit World(int phones)
    {
        QFile::link(QStringLiteral(PHONESIM_EXECUTABLE), folder.filePath(QStringLiteral("adb")));
        qputenv("LUMARIENT_PHONESIM_DIR", folder.path().toLocal8Bit());
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
    }

    QTemporaryDir folder;
    QTemporaryDir settings;
    UserDefaults defaults{settings.filePath(QStringLiteral("Lumarient.conf"))};
    ToolPaths paths{defaults, folder.path()};
    ADB adb{paths, ThreadSleeper::instance()};
    ScrcpySupervisor scrcpy{paths};
};

void measureRefresh(int phones, int runs)
{
    World world(phones);
    DeviceManager manager({world.paths, world.adb, world.defaults, SteadyClock::instance(), ThreadSleeper::instance(),
                           world.scrcpy, 0ms});
    // The first refresh adopts the phones; measure the steady state after it.
    waitForRefresh(manager);
    runFor(500ms);

    std::vector<double> millis;
    const double cpuBefore = cpuSeconds();
    for (int run = 0; run < runs; ++run) {
        const auto started = std::chrono::steady_clock::now();
        manager.refresh();
        waitForRefresh(manager);
        millis.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
        // Let the companion upkeep each refresh starts finish, as between ticks.
        runFor(300ms);
    }
    const double cpuPerRefresh = (cpuSeconds() - cpuBefore) / runs * 1000;
    std::sort(millis.begin(), millis.end());
    std::printf("refresh, %d phone%s: median %.1f ms   p90 %.1f ms   CPU %.1f ms per refresh   (%d runs)\n", phones,
                phones == 1 ? " " : "s", millis[millis.size() / 2], millis[millis.size() * 9 / 10], cpuPerRefresh,
                runs);
    std::fflush(stdout);
}

void measureIdle(int seconds)
{
    World world(1);
    DeviceManager manager(
        {world.paths, world.adb, world.defaults, SteadyClock::instance(), ThreadSleeper::instance(), world.scrcpy});
    // The scan decision follows every tick, as in the app.
    WirelessConnector wireless({manager, world.adb, world.defaults, SteadyClock::instance()});
    waitForRefresh(manager);
    runFor(1000ms);
    const double cpuBefore = cpuSeconds();
    runFor(std::chrono::seconds(seconds));
    const double spent = cpuSeconds() - cpuBefore;
    std::printf("idle app, 1 phone, no session: %.0f ms CPU per minute (%.2f%% of one core; %.1f ms over %d s)\n",
                spent * 60.0 / seconds * 1000, spent / seconds * 100, spent * 1000, seconds);
}

} // namespace

int main(int argc, char *argv[])
{
    int idleSeconds = 30;
    for (int index = 1; index + 1 < argc; ++index) {
        if (std::strcmp(argv[index], "--idle-seconds") == 0)
            idleSeconds = std::max(1, std::atoi(argv[index + 1]));
    }
    QCoreApplication application(argc, argv);
    measureRefresh(1, 40);
    measureRefresh(8, 40);
    measureIdle(idleSeconds);
    return 0;
}
