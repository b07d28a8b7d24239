#include "ManagerHarness.h"
#include "tooling/Scrcpy.h"

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const QString usbSerial = QStringLiteral("R58M123ABC");
const QString model = QStringLiteral("SM_S918B");
const std::string companion = "com.corvantil.lumarient.companion";

class ScreenSessionsTest : public ManagerHarness {
protected:
    ScreenSessionsTest() { sim_.addPhone(makePhone(usbSerial, model)); }

    void makeCompanionReady()
    {
        sim_.update([](phonesim::SimState &state) {
            state.phones[0].packages[companion] = 6;
            state.phones[0].grantedPermissions.push_back(companion + " android.permission.WRITE_SECURE_SETTINGS");
        });
    }

    // Starts the manager and a desktop of the phone, its companion ready, and waits until the desktop runs.
    DeviceConfig startRunningDesktop()
    {
        makeCompanionReady();
        startManager();
        const DeviceConfig config = configFor(model);
        manager_->startDesktop(config);
        EXPECT_TRUE(spinUntil([&] { return sessionRunning(config); }));
        return config;
    }

    bool sessionRunning(const DeviceConfig &config) const { return manager_->hasSessionProcess(config.id); }
    bool idle(const DeviceConfig &config) const { return !manager_->runningSessions().contains(config.id); }
};

} // namespace

TEST_F(ScreenSessionsTest, OneSessionPerConfigurationWhateverTheKind)
{
    makeCompanionReady();
    DeviceManager &manager = startManager();
    const DeviceConfig config = configFor(model);
    manager.startDesktop(config);
    manager.startDesktop(config);
    manager.startMirror(config);
    manager.startVirtualDesktop(config);
    EXPECT_EQ(manager.runningSessions().value(config.id), SessionKind::desktop);
    ASSERT_TRUE(spinUntil([&] { return sessionRunning(config); }));
    manager.startMirror(config);
    spinFor(300ms);
    EXPECT_EQ(scrcpyRuns().size(), 1);
    EXPECT_EQ(count(QStringLiteral("settings put global overlay_display_devices")), 1);

    manager.stopSession(config);
    ASSERT_TRUE(spinUntil([&] { return idle(config); }));
    manager.stopSession(config);
    EXPECT_TRUE(idle(config));
    EXPECT_TRUE(manager.lastError().isNull());
}

TEST_F(ScreenSessionsTest, MirrorWindowEndsWithItsProcess)
{
    DeviceManager &manager = startManager();
    const DeviceConfig config = configFor(model);
    manager.startMirror(config);
    ASSERT_TRUE(sessionRunning(config));
    EXPECT_EQ(manager.runningSessions().value(config.id), SessionKind::mirror);
    ASSERT_TRUE(spinUntil([&] { return scrcpyRuns().size() == 1; }));
    EXPECT_EQ(scrcpyRuns()[0], Scrcpy::mirrorArguments(usbSerial, config.name, false));

    // The phone goes: the window closes and the session with it, silently.
    unplug(usbSerial);
    ASSERT_TRUE(spinUntil([&] { return idle(config); }));
    EXPECT_FALSE(sessionRunning(config));
    EXPECT_TRUE(manager.lastError().isNull());

    // No phone for the configuration: nothing happens.
    refreshNow();
    manager.startMirror(config);
    EXPECT_TRUE(idle(config));
}

struct DesktopStart {
    const char *name;
    bool companionReady;
    bool wifiOnly;
    bool onWifiNetwork;
    // Whether a Wi-Fi standby is made (tcpip and connect), and the error shown.
    bool standby;
    const char *error;
};

class DesktopStartTest : public ScreenSessionsTest, public ::testing::WithParamInterface<DesktopStart> {};

TEST_P(DesktopStartTest, FollowsTheLinkAndTheCompanion)
{
    const DesktopStart &start = GetParam();
    if (start.companionReady)
        makeCompanionReady();
    if (!start.onWifiNetwork)
        sim_.update([](phonesim::SimState &state) { state.phones[0].wlanAddress.clear(); });
    QString serial = usbSerial;
    if (start.wifiOnly) {
        serial = connectOverWifi(usbSerial);
        unplug(usbSerial);
    }
    DeviceManager &manager = startManager();
    const DeviceConfig config = configFor(model);
    manager.startDesktop(config);
    ASSERT_TRUE(spinUntil([&] { return sessionRunning(config) && scrcpyRuns().size() == 1; }));
    if (start.error) {
        EXPECT_EQ(manager.lastError(), QString::fromUtf8(start.error));
    }
    const QString transport = start.wifiOnly ? QStringLiteral("wifi") : QStringLiteral("usb");
    ASSERT_TRUE(
        spinUntil([&] { return count(QStringLiteral("--es state started --es transport ") + transport) == 1; }));
    const QStringList arguments = scrcpyRuns()[0];
    EXPECT_EQ(arguments.mid(0, 3), (QStringList{"-s", serial, "--display-id=2"}));
    // Over Wi-Fi a higher bit rate; on the cable the phone's own screen goes dark.
    EXPECT_EQ(arguments.last(), start.wifiOnly ? "--video-bit-rate=12M" : "--turn-screen-off");
    EXPECT_EQ(sim_.phone(usbSerial).settings.at("global.overlay_display_devices"),
              "2560x1600/240,disable_window_interaction");
    EXPECT_EQ(count(QStringLiteral("-s ") + usbSerial + QStringLiteral(" tcpip 5555")), start.standby ? 1 : 0);
    EXPECT_EQ(count(QStringLiteral("connect 192.168.1.23:5555")), start.standby ? 1 : 0);
    if (start.standby) {
        EXPECT_TRUE(spinUntil([&] { return manager.wifiDevice(config).has_value(); }));
    }
    if (!start.error) {
        EXPECT_TRUE(manager.lastError().isNull());
    }

    manager.stopSession(config);
    ASSERT_TRUE(spinUntil([&] { return idle(config); }));
    EXPECT_FALSE(hasOverlaySetting(usbSerial));
    EXPECT_GE(count(QStringLiteral("--es state ended")), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, DesktopStartTest,
    ::testing::Values(DesktopStart{"CableWithoutReadyCompanion", false, false, true, true, nullptr},
                      DesktopStart{"CableWithReadyCompanion", true, false, true, false, nullptr},
                      DesktopStart{"WifiOnly", true, true, true, false, nullptr},
                      DesktopStart{
                          "CableOffTheNetwork", false, false, false, false,
                          "Wi-Fi standby unavailable: Phone is not on Wi-Fi — join the same network as this computer"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ScreenSessionsTest, FailedDesktopStartsEndIdleWithTheOverlayGone)
{
    makeCompanionReady();
    sim_.update([](phonesim::SimState &state) { state.phones[0].overlayAppearsAfterPolls = -1; });
    DeviceManager &manager = startManager();
    const DeviceConfig config = configFor(model);
    manager.startDesktop(config);
    ASSERT_TRUE(spinUntil([&] { return idle(config); }));
    EXPECT_EQ(manager.lastError(), QStringLiteral("Overlay display did not appear on the phone"));
    EXPECT_FALSE(hasOverlaySetting(usbSerial));
    EXPECT_TRUE(scrcpyRuns().isEmpty());

    // The setting cannot be written.
    sim_.addRule({"adb", "*", "shell settings put", "Security exception: Permission denial\n", 255, 1, 0});
    manager.startDesktop(config);
    ASSERT_TRUE(spinUntil([&] { return idle(config); }));
    EXPECT_TRUE(manager.lastError().contains(QStringLiteral("settings put global overlay_display_devices")))
        << manager.lastError().toStdString();

    // scrcpy cannot start: its launch error, and the overlay is removed again.
    sim_.update([](phonesim::SimState &state) { state.phones[0].overlayAppearsAfterPolls = 1; });
    const QString missing = prefix_.filePath(QStringLiteral("missing/scrcpy"));
    defaults_.setValue(QStringLiteral("scrcpyPath"), missing);
    manager.startDesktop(config);
    ASSERT_TRUE(spinUntil([&] { return idle(config) && count(QStringLiteral("settings put")) == 3; }));
    ASSERT_TRUE(spinUntil([&] { return !hasOverlaySetting(usbSerial); }));
    EXPECT_TRUE(manager.lastError().startsWith(QStringLiteral("Could not launch ") + missing + ": "))
        << manager.lastError().toStdString();
    manager.startMirror(config);
    EXPECT_TRUE(idle(config));
    EXPECT_TRUE(manager.pendingOverlayCleanups().isEmpty());
}

TEST_F(ScreenSessionsTest, ClosingTheDesktopOfAnUnpluggedPhoneCleansUpThroughWifi)
{
    const QString endpoint = connectOverWifi(usbSerial);
    const DeviceConfig config = startRunningDesktop();
    DeviceManager &manager = *manager_;
    ASSERT_TRUE(spinUntil([&] { return scrcpyRuns().size() == 1; }));
    EXPECT_EQ(scrcpyRuns()[0][1], usbSerial);
    ASSERT_TRUE(hasOverlaySetting(usbSerial));

    unplug(usbSerial);
    ASSERT_TRUE(spinUntil([&] { return idle(config); }));
    ASSERT_TRUE(spinUntil([&] { return count(QStringLiteral("-s ") + endpoint + " shell settings delete") == 1; }));
    ASSERT_TRUE(spinUntil([&] { return !hasOverlaySetting(usbSerial); }));
    EXPECT_TRUE(manager.pendingOverlayCleanups().isEmpty());
    EXPECT_TRUE(manager.lastError().isNull());
}

TEST_F(ScreenSessionsTest, ClosingTheDesktopOfAVanishedPhoneRemembersItsOverlay)
{
    const DeviceConfig config = startRunningDesktop();
    unplug(usbSerial);
    ASSERT_TRUE(spinUntil([&] { return idle(config); }));
    ASSERT_TRUE(spinUntil([&] { return manager_->pendingOverlayCleanups().contains(model); }));
    EXPECT_EQ(defaults_.stringArray(QStringLiteral("pendingOverlayCleanups")), QStringList{model});
}

TEST_F(ScreenSessionsTest, QuittingLeavesAVanishedPhonesOverlayForTheNextLaunch)
{
    sim_.update([](phonesim::SimState &state) { state.scrcpy.exitsWhenUnplugged = false; });
    const DeviceConfig config = startRunningDesktop();
    unplug(usbSerial);
    refreshNow();
    ASSERT_FALSE(manager_->connectedDevice(config));

    manager_->terminateAllSessions();
    EXPECT_EQ(defaults_.stringArray(QStringLiteral("pendingOverlayCleanups")), QStringList{model});
    stopManager();
    EXPECT_TRUE(hasOverlaySetting(usbSerial));
}

TEST_F(ScreenSessionsTest, QuittingEndsRunningDesktopsOnPhonesStillThere)
{
    const DeviceConfig config = startRunningDesktop();
    ASSERT_TRUE(spinUntil([&] { return sim_.phone(usbSerial).companionSession == "started usb"; }));
    manager_->terminateAllSessions();
    EXPECT_FALSE(hasOverlaySetting(usbSerial));
    EXPECT_EQ(sim_.phone(usbSerial).companionSession, "ended");
    EXPECT_TRUE(defaults_.stringArray(QStringLiteral("pendingOverlayCleanups")).isEmpty());
    ASSERT_TRUE(spinUntil([&] { return idle(config); }));
}

TEST_F(ScreenSessionsTest, InvisibleDesktopTurnsItsNewDisplayFreeform)
{
    sim_.update(
        [](phonesim::SimState &state) { state.phones[0].settings["global.overlay_display_devices"] = "1x1/1"; });
    DeviceManager &manager = startManager();
    const DeviceConfig config = configFor(model);
    manager.startVirtualDesktop(config);
    EXPECT_EQ(manager.runningSessions().value(config.id), SessionKind::virtualDesktop);
    ASSERT_TRUE(spinUntil([&] {
        const std::vector<phonesim::SimDisplay> displays = sim_.phone(usbSerial).displays;
        return displays.size() == 1 && displays[0].windowingMode == 5;
    }));
    EXPECT_FALSE(hasOverlaySetting(usbSerial));
    ASSERT_EQ(scrcpyRuns().size(), 1);
    EXPECT_EQ(scrcpyRuns()[0][2], QStringLiteral("--new-display=2560x1600/240"));
    manager.stopSession(config);
    ASSERT_TRUE(spinUntil([&] { return idle(config); }));
    EXPECT_TRUE(sim_.phone(usbSerial).displays.empty());
}

TEST_F(ScreenSessionsTest, PhoneVanishingWhileTheOverlayIsAwaitedLeavesItRemembered)
{
    makeCompanionReady();
    DeviceManager &manager = startManager();
    const DeviceConfig config = configFor(model);
    // Pulled out right after the overlay setting was written.
    adbSleeper_.onSleep([&](std::size_t count) {
        if (count == 1)
            unplug(usbSerial);
    });
    manager.startDesktop(config);
    ASSERT_TRUE(spinUntil([&] { return idle(config); }));
    EXPECT_TRUE(manager.lastError().contains(QStringLiteral("not found"))) << manager.lastError().toStdString();
    EXPECT_TRUE(scrcpyRuns().isEmpty());
    ASSERT_TRUE(spinUntil([&] { return manager.pendingOverlayCleanups().contains(model); }));
    EXPECT_TRUE(hasOverlaySetting(usbSerial));
}
