#include "tooling/ADB.h"
#include "model/LumarientError.h"
#include "support/Files.h"
#include "support/PhoneWorld.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;
using phonesim::SimDisplay;
using phonesim::SimRule;

namespace {

const QString serial = QStringLiteral("R58M123ABC");

SimRule rule(const std::string &commandPrefix, const std::string &output, int exitCode, int times = -1)
{
    return {.commandPrefix = commandPrefix, .output = output, .exitCode = exitCode, .times = times};
}

// The real ADB layer against one simulated phone on the cable.
class ADBTest : public ::testing::Test, protected PhoneWorld {
protected:
    ADBTest() { sim_.addPhone(makePhone(serial, QStringLiteral("SM_G973F"))); }

    template <typename Error, typename Action> Error failure(Action action)
    {
        try {
            action();
        } catch (const Error &error) {
            return error;
        }
        ADD_FAILURE() << "expected a failure";
        throw std::runtime_error("no failure");
    }

    RecordingSleeper &sleeper_ = adbSleeper_;
};

} // namespace

TEST_F(ADBTest, FailedListingPassesTheShellErrorOn)
{
    sim_.addRule(rule("devices", "error: protocol fault\n", 1));
    const ShellError error = failure<ShellError>([&] { adb_.listDevices(); });
    EXPECT_EQ(error.command(), sim_.adbPath() + QStringLiteral(" devices -l"));
    EXPECT_EQ(error.description(), sim_.adbPath() + QStringLiteral(" devices -l exited 1: error: protocol fault"));
}

TEST_F(ADBTest, ListingTroubleIsLoggedOncePerNewKind)
{
    QTemporaryDir tools;
    const auto tool = [&](const QString &name, const QByteArray &script, bool executable = true) {
        EXPECT_TRUE(writeFile(tools.filePath(name), "#!/bin/sh\n" + script + "\n", executable));
        return tools.filePath(name);
    };
    const QString failing = tool(QStringLiteral("failing"), "echo \"error: protocol fault $$\"; exit 1");
    const struct {
        QString adbPath;
        QString line;
    } cases[] = {
        {tool(QStringLiteral("plain"), "echo", false),
         QStringLiteral("Could not launch %1: Permission denied").arg(tools.filePath(QStringLiteral("plain")))},
        {failing, failing + QStringLiteral(" devices -l exited 1: error: protocol fault")},
        {tool(QStringLiteral("killed"), "kill -9 $$"), QStringLiteral(" devices -l exited 9")},
        {tool(QStringLiteral("binary"), "printf 'List of devices attached \\377'"),
         QStringLiteral("Listing devices gave an empty answer, or one that is not UTF-8")},
        {tool(QStringLiteral("chatty"), "echo hello world"),
         QStringLiteral("Listing devices gave an unexpected answer: hello world")},
        // A sound listing ends the trouble; the same kind coming back is new again.
        {sim_.adbPath(), QString()},
        {failing, failing + QStringLiteral(" devices -l exited 1: error: protocol fault")},
    };
    for (const auto &[adbPath, line] : cases) {
        defaults_.setValue(QStringLiteral("adbPath"), adbPath);
        testing::internal::CaptureStdout();
        for (int poll = 0; poll < 3; ++poll) {
            try {
                adb_.listDevices();
            } catch (const ShellError &) {
            }
        }
        const QString log = QString::fromStdString(testing::internal::GetCapturedStdout());
        SCOPED_TRACE(adbPath.toStdString());
        if (line.isEmpty()) {
            EXPECT_EQ(log, QString());
            continue;
        }
        EXPECT_EQ(log.count(QLatin1Char('\n')), 1) << log.toStdString();
        EXPECT_TRUE(log.startsWith(QStringLiteral("[Lumarient] "))) << log.toStdString();
        EXPECT_TRUE(log.contains(line)) << log.toStdString();
    }
}

TEST_F(ADBTest, MarketingNameFallsBackStepByStep)
{
    sim_.update([](phonesim::SimState &state) { state.phones[0].props["ro.product.marketname"] = "  Galaxy S10\n"; });
    EXPECT_EQ(adb_.marketingName(serial, QStringLiteral("SM_G973F")), QStringLiteral("Galaxy S10"));

    sim_.update([](phonesim::SimState &state) { state.phones[0].props.erase("ro.product.marketname"); });
    EXPECT_EQ(adb_.marketingName(serial, QStringLiteral("SM_G973F")), QStringLiteral("SM_G973F"));

    sim_.addRule(rule("shell getprop", "error: closed\n", 1));
    EXPECT_EQ(adb_.marketingName(serial, QStringLiteral("SM_G973F")), QStringLiteral("SM G973F"));
    EXPECT_EQ(adb_.marketingName(QStringLiteral("gone"), QStringLiteral("Pixel_8_Pro")), QStringLiteral("Pixel 8 Pro"));
}

TEST_F(ADBTest, OverlayDisplayAppearsAfterPolling)
{
    sim_.update([](phonesim::SimState &state) { state.phones[0].overlayAppearsAfterPolls = 3; });
    EXPECT_EQ(adb_.createOverlayDisplay(serial, QStringLiteral("1920x1080/240"), {}), QStringLiteral("2"));
    EXPECT_EQ(sleeper_.sleeps(), (std::vector<std::chrono::milliseconds>{250ms, 250ms, 250ms}));
    EXPECT_EQ(sim_.phone(serial).settings["global.overlay_display_devices"],
              "1920x1080/240,disable_window_interaction");
    const QStringList commands = sim_.adbCommands();
    EXPECT_EQ(commands.first(), QStringLiteral("-s R58M123ABC shell settings delete global overlay_display_devices"));
    EXPECT_EQ(commands[1], QStringLiteral("-s R58M123ABC shell settings put global overlay_display_devices "
                                          "1920x1080/240,disable_window_interaction"));
}

TEST_F(ADBTest, OverlayThatNeverAppearsIsRemovedAfterTwentyPolls)
{
    sim_.update([](phonesim::SimState &state) { state.phones[0].overlayAppearsAfterPolls = -1; });
    const LumarientError error =
        failure<LumarientError>([&] { adb_.createOverlayDisplay(serial, QStringLiteral("2560x1600/240"), {}); });
    EXPECT_EQ(error.description(), QStringLiteral("Overlay display did not appear on the phone"));
    EXPECT_EQ(sleeper_.sleeps().size(), 20u);
    EXPECT_EQ(count(QStringLiteral("-s R58M123ABC shell dumpsys display")), 20);
    EXPECT_TRUE(sim_.adbCommands().last().endsWith(QStringLiteral("settings delete global overlay_display_devices")));
    EXPECT_FALSE(sim_.phone(serial).settings.count("global.overlay_display_devices"));
}

TEST_F(ADBTest, OverlayWaitThatIsCancelledOrLosesThePhoneLeavesNoSetting)
{
    sim_.update([](phonesim::SimState &state) { state.phones[0].overlayAppearsAfterPolls = -1; });
    std::stop_source stop;
    sleeper_.onSleep([&](std::size_t count) {
        if (count == 2)
            stop.request_stop();
    });
    failure<OperationCancelled>([&] { adb_.createOverlayDisplay(serial, QStringLiteral("1x1/1"), stop.get_token()); });
    EXPECT_FALSE(sim_.phone(serial).settings.count("global.overlay_display_devices"));

    sleeper_.onSleep({});
    SimRule broken = rule("shell dumpsys display", "error: closed\n", 1, 1);
    sim_.addRule(broken);
    failure<ShellError>([&] { adb_.createOverlayDisplay(serial, QStringLiteral("1x1/1"), {}); });
    EXPECT_FALSE(sim_.phone(serial).settings.count("global.overlay_display_devices"));
}

TEST_F(ADBTest, ScreenSizeFromDisplayDumpThenWindowManager)
{
    sim_.update([](phonesim::SimState &state) {
        state.phones[0].screenWidth = 1440;
        state.phones[0].screenHeight = 3120;
    });
    EXPECT_EQ(adb_.screenSize(serial), (ScreenSize{1440, 3120}));
    EXPECT_EQ(count(QStringLiteral("-s R58M123ABC shell wm size")), 0);

    sim_.update([](phonesim::SimState &state) { state.phones[0].displayInfoInDump = false; });
    EXPECT_EQ(adb_.screenSize(serial), (ScreenSize{1440, 3120}));
    EXPECT_EQ(count(QStringLiteral("-s R58M123ABC shell wm size")), 1);

    sim_.addRule(rule("shell wm size", "Physical size: 0x2400\n", 0));
    EXPECT_EQ(adb_.screenSize(serial), std::nullopt);
    EXPECT_EQ(adb_.screenSize(QStringLiteral("gone")), std::nullopt);
}

TEST_F(ADBTest, NewestScrcpyDisplayIsTheLargestId)
{
    EXPECT_EQ(adb_.newestScrcpyDisplayID(serial), std::nullopt);
    sim_.update([](phonesim::SimState &state) {
        for (int id : {11, 2}) {
            state.phones[0].displays.push_back(
                SimDisplay{id, "virtual:com.android.shell,2000,scrcpy," + std::to_string(id), 1920, 1080, 160, 0});
        }
        state.phones[0].displays.push_back(SimDisplay{12, "overlay:1", 1920, 1080, 160, 0});
    });
    EXPECT_EQ(adb_.newestScrcpyDisplayID(serial), 11);
    EXPECT_EQ(adb_.newestScrcpyDisplayID(QStringLiteral("gone")), std::nullopt);
}

TEST_F(ADBTest, FreeformModeOnlyOnAnExistingDisplay)
{
    sim_.update([](phonesim::SimState &state) {
        state.phones[0].displays.push_back(SimDisplay{7, "overlay:1", 1920, 1080, 160, 1});
    });
    EXPECT_TRUE(adb_.setDisplayFreeform(serial, 7));
    EXPECT_EQ(sim_.phone(serial).displays[0].windowingMode, 5);
    EXPECT_FALSE(adb_.setDisplayFreeform(serial, 8));
    EXPECT_TRUE(
        sim_.adbCommands().contains(QStringLiteral("-s R58M123ABC shell wm set-display-windowing-mode -d 7 5")));
}

TEST_F(ADBTest, WaitUntilReadyGivesUpQuietlyAndIgnoresCancellation)
{
    adb_.waitUntilReady(serial);
    EXPECT_TRUE(sleeper_.sleeps().empty());

    sim_.addRule(rule("devices", "error: no server\n", 1, 3));
    adb_.waitUntilReady(QStringLiteral("192.168.1.23:5555"));
    EXPECT_EQ(sleeper_.sleeps().size(), 20u);
    EXPECT_EQ(sleeper_.total(), 5000ms);
    EXPECT_EQ(count(QStringLiteral("devices -l")), 21);
}

TEST_F(ADBTest, WaitUntilReadySeesThePhoneAppear)
{
    sim_.update([](phonesim::SimState &state) { state.phones[0].state = "offline"; });
    sleeper_.onSleep([&](std::size_t count) {
        if (count == 4)
            sim_.update([](phonesim::SimState &state) { state.phones[0].state = "device"; });
    });
    adb_.waitUntilReady(serial);
    EXPECT_EQ(sleeper_.sleeps().size(), 4u);
}

TEST_F(ADBTest, ConnectRetriesFiveTimesRestartingTheServerOnce)
{
    const LumarientError error = failure<LumarientError>([&] { adb_.connect(QStringLiteral("10.9.9.9"), 5555, {}); });
    EXPECT_EQ(error.description(), QStringLiteral("failed to connect to '10.9.9.9:5555': Connection refused"));
    EXPECT_EQ(sim_.adbCommands(),
              (QStringList{"connect 10.9.9.9:5555", "connect 10.9.9.9:5555", "connect 10.9.9.9:5555", "kill-server",
                           "connect 10.9.9.9:5555", "connect 10.9.9.9:5555"}));
    EXPECT_EQ(sleeper_.sleeps(), (std::vector<std::chrono::milliseconds>{1500ms, 1500ms, 1000ms, 1500ms, 1500ms}));
    EXPECT_EQ(sleeper_.total(), 7000ms);
}

TEST_F(ADBTest, ConnectStopsAtTheFirstSuccessCommandFailureOrCancellation)
{
    sim_.update([](phonesim::SimState &state) { state.phones[0].tcpipPort = 5555; });
    sim_.addRule(rule("connect", "failed to connect to '192.168.1.23:5555'\n", 0, 1));
    adb_.connect(QStringLiteral("192.168.1.23"), 5555, {});
    EXPECT_EQ(count(QStringLiteral("connect")), 2);
    // "already connected to" counts as success.
    adb_.connect(QStringLiteral("192.168.1.23"), 5555, {});
    EXPECT_EQ(count(QStringLiteral("connect")), 3);

    sim_.addRule(rule("connect", "adb: usage\n", 1, 1));
    failure<ShellError>([&] { adb_.connect(QStringLiteral("192.168.1.24"), 5555, {}); });
    EXPECT_EQ(count(QStringLiteral("connect")), 4);

    // Cancelled: no sleep and no second try.
    std::stop_source stop;
    stop.request_stop();
    failure<OperationCancelled>([&] { adb_.connect(QStringLiteral("10.9.9.9"), 5555, stop.get_token()); });
    EXPECT_EQ(count(QStringLiteral("connect")), 5);
}

TEST_F(ADBTest, SwitchToWifiMovesThePhoneOffTheCable)
{
    EXPECT_EQ(adb_.switchToWifi(serial, 5557, {}), QStringLiteral("192.168.1.23:5557"));
    EXPECT_EQ(sim_.adbCommands(), (QStringList{"-s R58M123ABC shell ip -4 addr show wlan0", "-s R58M123ABC tcpip 5557",
                                               "connect 192.168.1.23:5557"}));
    EXPECT_EQ(sleeper_.sleeps(), std::vector<std::chrono::milliseconds>{2000ms});
    bool listed = false;
    for (const ConnectedDevice &device : adb_.listDevices())
        listed |= device.serial == QStringLiteral("192.168.1.23:5557") && device.isWifi;
    EXPECT_TRUE(listed);
}

TEST_F(ADBTest, SwitchToWifiWithoutAnAddressSendsNoTcpip)
{
    sim_.update([](phonesim::SimState &state) { state.phones[0].wlanAddress.clear(); });
    const LumarientError error = failure<LumarientError>([&] { adb_.switchToWifi(serial, 5555, {}); });
    EXPECT_EQ(error.kind(), LumarientError::Kind::notOnWifi);
    EXPECT_EQ(error.description(), QStringLiteral("Phone is not on Wi-Fi — join the same network as this computer"));
    EXPECT_EQ(count(QStringLiteral("-s R58M123ABC tcpip")), 0);
    EXPECT_EQ(sim_.phone(serial).tcpipPort, 0);
}

TEST_F(ADBTest, PairRestartsTheServerAndChecksTheAnswer)
{
    sim_.update([](phonesim::SimState &state) { state.pairingCodes["192.168.1.23:37123"] = "482913"; });
    adb_.pair(QStringLiteral("192.168.1.23"), 37123, QStringLiteral("482913"));
    EXPECT_EQ(sim_.adbCommands(), (QStringList{"kill-server", "pair 192.168.1.23:37123 482913"}));

    const ShellError wrong =
        failure<ShellError>([&] { adb_.pair(QStringLiteral("192.168.1.23"), 37123, QStringLiteral("000000")); });
    EXPECT_TRUE(wrong.description().endsWith(QStringLiteral("Failed: Wrong password or connection was dropped.")))
        << wrong.description().toStdString();

    sim_.addRule(rule("pair", "Failed: pairing timed out\n", 0, 1));
    const LumarientError quiet =
        failure<LumarientError>([&] { adb_.pair(QStringLiteral("192.168.1.23"), 37123, QStringLiteral("482913")); });
    EXPECT_EQ(quiet.description(), QStringLiteral("Failed: pairing timed out"));
}
