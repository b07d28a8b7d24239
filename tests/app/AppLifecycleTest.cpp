#include "RunningApp.h"
#include "model/DeviceConfig.h"
#include "platform/UserDefaults.h"
#include "support/EventLoop.h"
#include "support/PhoneSim.h"
#include "support/TimeScale.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <csignal>

using lumarient::test::PrivateBus;
using lumarient::test::RunningApp;
using lumarient::test::spinUntil;

TEST(AppLifecycle, StartsHeadlessWithoutASessionBusAndQuitsCleanlyOnSignals)
{
    for (int number : {SIGTERM, SIGINT}) {
        RunningApp app(RunningApp::Options{});
        ASSERT_TRUE(app.waitForLine("[Lumarient] started\n")) << app.output().toStdString();
        EXPECT_TRUE(app.output().contains("[Lumarient] No session bus")) << app.output().toStdString();
        app.signal(number);
        // Well within the two seconds a desktop session gives an app to leave.
        ASSERT_TRUE(app.waitForExit(lumarient::test::scaledMs(2000))) << "still running after the signal";
        EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app.process().exitCode(), 0);
        EXPECT_TRUE(app.output().contains("[Lumarient] stopping\n")) << app.output().toStdString();
    }
}

TEST(AppLifecycle, APhonePluggedInBecomesASavedConfigurationWithinTwoRefreshes)
{
    lumarient::test::PhoneSim sim;
    sim.addPhone(lumarient::test::makePhone(QStringLiteral("R58M123ABC"), QStringLiteral("SM_G973F")));
    RunningApp app({.adbPath = sim.adbPath()});
    ASSERT_TRUE(app.waitForLine("[Lumarient] started\n")) << app.output().toStdString();

    // The first refresh runs at start, the next 3 s later.
    QElapsedTimer timer;
    timer.start();
    QList<lumarient::DeviceConfig> configs;
    while (configs.isEmpty() && timer.elapsed() < 6500) {
        QThread::msleep(100);
        // A fresh reader each time: the app writes the file from another process.
        lumarient::UserDefaults defaults(app.configDir() + QStringLiteral("/Lumarient.conf"));
        configs = lumarient::DeviceConfig::load(defaults);
    }
    ASSERT_EQ(configs.size(), 1) << app.output().toStdString();
    EXPECT_EQ(configs[0].modelPattern, QStringLiteral("SM_G973F"));
    EXPECT_EQ(configs[0].wifiPort, 5555);
    app.signal(SIGTERM);
    EXPECT_TRUE(app.waitForExit(5000));
}

TEST(AppLifecycle, ASecondLaunchOnTheSameBusHandsOverToTheRunningApp)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.running());
    RunningApp first({.bus = &bus});
    ASSERT_TRUE(first.waitForLine("[Lumarient] started\n")) << first.output().toStdString();
    // Its own settings: the bus, not the settings file, makes it the same app.
    RunningApp second({.bus = &bus});
    ASSERT_TRUE(second.waitForExit(10000));
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_TRUE(second.output().contains("[Lumarient] Already running; asked the running app to come forward"))
        << second.output().toStdString();
    EXPECT_FALSE(second.output().contains("[Lumarient] started"));
    EXPECT_TRUE(first.waitForLine("[Lumarient] Asked over the session bus to come forward\n"))
        << first.output().toStdString();
    first.signal(SIGTERM);
    EXPECT_TRUE(first.waitForExit(5000));
}

TEST(AppLifecycle, QuitsPromptlyWhileAnAdbCommandHangs)
{
    lumarient::test::PhoneSim sim;
    sim.addRule({.commandPrefix = "devices", .output = "", .sleepMs = 60000});
    RunningApp app({.adbPath = sim.adbPath()});
    ASSERT_TRUE(app.waitForLine("[Lumarient] started\n")) << app.output().toStdString();
    ASSERT_TRUE(spinUntil([&] { return sim.adbCommands().contains(QStringLiteral("devices -l")); }));

    app.signal(SIGTERM);
    ASSERT_TRUE(app.waitForExit(lumarient::test::scaledMs(2000))) << "still running 2 s after the signal";
    EXPECT_EQ(app.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.process().exitCode(), 0);
}
