// Times the device manager's handling of a long list of saved phones (30,000 by
// default, `--configs N`) against phone-sim with one phone that is new to it:
// loading the list, the refresh that adopts the new phone and saves, recording
// many pending overlay clean-ups, and quitting. Prints min/median/max of each
// over `--runs` runs (3 by default).

#include "RefreshWait.h"
#include "SimStore.h"
#include "devices/DeviceManager.h"
#include "devices/ScrcpySupervisor.h"
#include "model/DeviceConfig.h"
#include "platform/Clock.h"
#include "platform/Sleeper.h"
#include "platform/UserDefaults.h"
#include "tooling/ADB.h"
#include "tooling/ToolPaths.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace lumarient;
using lumarient::bench::waitForRefresh;
using namespace std::chrono_literals;

namespace {

double millisOf(const std::function<void()> &step)
{
    const auto started = std::chrono::steady_clock::now();
    step();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
}

QList<DeviceConfig> savedList(int count)
{
    QList<DeviceConfig> configs;
    configs.reserve(count);
    for (int index = 0; index < count; ++index) {
        DeviceConfig config;
        config.id = QUuid::createUuid();
        config.name = QStringLiteral("Phone %1").arg(index);
        config.modelPattern = QStringLiteral("Model_%1").arg(index);
        config.wifiPort = 5555 + index;
        configs.append(config);
    }
    return configs;
}

void oneRun(int configCount, std::map<std::string, std::vector<double>> &times)
{
    QTemporaryDir folder;
    QTemporaryDir settings;
    QFile::link(QStringLiteral(PHONESIM_EXECUTABLE), folder.filePath(QStringLiteral("adb")));
    qputenv("LUMARIENT_PHONESIM_DIR", folder.path().toLocal8Bit());
    phonesim::SimStore(folder.path().toStdString()).update([](phonesim::SimState &state) {
        phonesim::SimPhone phone;
        phone.usbSerial = "NEWPHONE";
        phone.model = "Brand_New";
        phone.props["ro.product.model"] = phone.model;
        state.phones.push_back(phone);
    });
    UserDefaults defaults(settings.filePath(QStringLiteral("Lumarient.conf")));
    defaults.setValue(QStringLiteral("adbPath"), folder.filePath(QStringLiteral("adb")));
    const QList<DeviceConfig> configs = savedList(configCount);
    times["save list"].push_back(millisOf([&] { DeviceConfig::save(defaults, configs); }));
    times["load list"].push_back(millisOf([&] { DeviceConfig::load(defaults); }));

    ToolPaths paths(defaults, folder.path());
    ADB adb(paths, ThreadSleeper::instance());
    ScrcpySupervisor scrcpy(paths);
    auto manager = std::make_unique<DeviceManager>(DeviceManager::Dependencies{
        paths, adb, defaults, SteadyClock::instance(), ThreadSleeper::instance(), scrcpy, 0ms});
    times["start and adopt the new phone"].push_back(millisOf([&] { waitForRefresh(*manager); }));
    if (manager->configs().size() != configCount + 1)
        std::fprintf(stderr, "the new phone was not adopted\n");
    times["1000 pending clean-ups"].push_back(millisOf([&] {
        for (int index = 0; index < 1000; ++index)
            manager->rememberPendingCleanup(QStringLiteral("Model_%1").arg(index));
    }));
    times["refresh"].push_back(millisOf([&] {
        manager->refresh();
        waitForRefresh(*manager);
    }));
    times["quit"].push_back(millisOf([&] {
        manager->terminateAllSessions();
        manager.reset();
    }));
}

} // namespace

int main(int argc, char *argv[])
{
    int configCount = 30000;
    int runs = 3;
    for (int index = 1; index + 1 < argc; ++index) {
        if (std::strcmp(argv[index], "--configs") == 0)
            configCount = std::max(0, std::atoi(argv[index + 1]));
        if (std::strcmp(argv[index], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[index + 1]));
    }
    QCoreApplication application(argc, argv);
    std::map<std::string, std::vector<double>> times;
    for (int run = 0; run < runs; ++run)
        oneRun(configCount, times);
    std::printf("%d saved phones, %d runs:\n", configCount, runs);
    for (auto &[step, millis] : times) {
        std::sort(millis.begin(), millis.end());
        std::printf("  %-32s min %9.1f ms   median %9.1f ms   max %9.1f ms\n", step.c_str(), millis.front(),
                    millis[millis.size() / 2], millis.back());
    }
    return 0;
}
