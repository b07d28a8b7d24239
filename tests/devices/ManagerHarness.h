#pragma once

#include "devices/DeviceManager.h"
#include "devices/ScrcpySupervisor.h"
#include "platform/UserDefaults.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"
#include "support/PhoneWorld.h"
#include "support/RecordingSleeper.h"
#include "tooling/ADB.h"
#include "tooling/ToolPaths.h"
#include "wireless/WirelessConnector.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <thread>

namespace lumarient::test {

// The real DeviceManager on a Qt event loop against simulated phones, with a
// clock the test moves and sleeps that return at once.
class ManagerHarness : public ::testing::Test, protected PhoneWorld {
protected:
    explicit ManagerHarness(std::chrono::milliseconds commandTimeLimit = Shell::defaultTimeLimit)
        : PhoneWorld(commandTimeLimit)
    {
        // Polls that must see the simulated phone change get a moment to do so.
        sleeper_.onSleep([](std::size_t) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    }
    ~ManagerHarness() override
    {
        wireless_.reset();
        manager_.reset();
    }

    // The manager, after its first refresh unless `firstRefresh` is false (so
    // that a connector made next sees that refresh, as in the app).
    DeviceManager &startManager(bool firstRefresh = true)
    {
        manager_ = std::make_unique<DeviceManager>(DeviceManager::Dependencies{
            paths_, adb_, defaults_, clock_, sleeper_, scrcpy_, std::chrono::milliseconds(0)});
        if (firstRefresh) {
            EXPECT_TRUE(spinUntil([&] { return !manager_->isRefreshing(); }));
        }
        return *manager_;
    }
    void stopManager() { manager_.reset(); }

    // The wireless connector on the started manager; `adjust` adds discovery,
    // path watching or interfaces.
    WirelessConnector &startWireless(const std::function<void(WirelessConnector::Dependencies &)> &adjust = {})
    {
        WirelessConnector::Dependencies dependencies{*manager_, adb_, defaults_, clock_};
        if (adjust)
            adjust(dependencies);
        wireless_ = std::make_unique<WirelessConnector>(dependencies);
        return *wireless_;
    }

    // Runs one whole refresh.
    void refreshNow()
    {
        ASSERT_TRUE(spinUntil([&] { return !manager_->isRefreshing(); }));
        manager_->refresh();
        ASSERT_TRUE(spinUntil([&] { return !manager_->isRefreshing(); }));
    }

    // The argument lists of every scrcpy run.
    QList<QStringList> scrcpyRuns() const { return sim_.scrcpyRuns(); }

    DeviceConfig configFor(const QString &model) const
    {
        for (const DeviceConfig &config : manager_->configs()) {
            if (config.modelPattern == model)
                return config;
        }
        ADD_FAILURE() << "no configuration for " << model.toStdString();
        return {};
    }

    RecordingSleeper sleeper_;
    ManualClock clock_;
    ScrcpySupervisor scrcpy_{paths_};
    std::unique_ptr<DeviceManager> manager_;
    std::unique_ptr<WirelessConnector> wireless_;
};

} // namespace lumarient::test
