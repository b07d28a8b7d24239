#include "tooling/Companion.h"
#include "support/PhoneWorld.h"
#include "tooling/DeviceCapabilities.h"

#include <gtest/gtest.h>

using namespace lumarient;
using namespace lumarient::test;

namespace {

const QString serial = QStringLiteral("R58M123ABC");
const QString package = QStringLiteral("com.corvantil.lumarient.companion");

// The real companion installer and capability probe against one simulated phone.
class CompanionTest : public ::testing::Test, protected PhoneWorld {
protected:
    CompanionTest() { sim_.addPhone(makePhone(serial, QStringLiteral("SM_S918B"))); }

    void setInstalled(int versionCode, bool secureSettingsGranted)
    {
        sim_.update([&](phonesim::SimState &state) {
            state.phones[0].packages[package.toStdString()] = versionCode;
            if (secureSettingsGranted)
                state.phones[0].grantedPermissions.push_back(package.toStdString() +
                                                             " android.permission.WRITE_SECURE_SETTINGS");
        });
    }

    QStringList commandsAfterSerial() const
    {
        QStringList commands;
        for (const QString &command : sim_.adbCommands())
            commands.append(command.mid(QStringLiteral("-s %1 ").arg(serial).size()));
        return commands;
    }

    Companion companion_{paths_, adb_};
};

} // namespace

TEST_F(CompanionTest, EnsureInstallsAnOldOrMissingAppAndAlwaysGrantsAndResets)
{
    // No APK anywhere: nothing is installed or granted.
    companion_.ensure(serial);
    EXPECT_TRUE(sim_.adbCommands().isEmpty());

    const QString apk = writeCompanionApk(6);
    setInstalled(5, false);
    sim_.clearInvocations();
    companion_.ensure(serial);
    EXPECT_EQ(commandsAfterSerial(),
              (QStringList{"shell dumpsys package " + package, "install -r " + apk,
                           "shell pm grant " + package + " android.permission.WRITE_SECURE_SETTINGS",
                           "shell pm grant " + package + " android.permission.POST_NOTIFICATIONS",
                           "shell am broadcast -n " + package +
                               "/.SessionReceiver -a com.corvantil.lumarient.SESSION --es state ended"}));
    EXPECT_EQ(sim_.phone(serial).packages.at(package.toStdString()), 6);
    EXPECT_EQ(sim_.phone(serial).companionSession, "ended");
    EXPECT_TRUE(companion_.isReady(serial));

    // Up to date: no install, but the grants and the reset still go out.
    sim_.clearInvocations();
    companion_.ensure(serial);
    const QStringList again = commandsAfterSerial();
    EXPECT_EQ(again.size(), 4);
    EXPECT_FALSE(again.join('\n').contains(QStringLiteral("install")));
}

TEST_F(CompanionTest, FailedInstallStopsBeforeGrants)
{
    writeCompanionApk(6);
    sim_.addRule({.commandPrefix = "install",
                  .output = "Performing Streamed Install\nadb: failed to install x.apk: Failure "
                            "[INSTALL_FAILED_INSUFFICIENT_STORAGE]\n",
                  .exitCode = 1});
    companion_.ensure(serial);
    EXPECT_EQ(commandsAfterSerial().size(), 2);
    EXPECT_FALSE(companion_.isReady(serial));
}

TEST_F(CompanionTest, ReadinessNeedsTheSecureSettingsGrant)
{
    EXPECT_EQ(companion_.installedVersion(serial), std::nullopt);
    EXPECT_FALSE(companion_.isReady(serial));
    setInstalled(7, false);
    EXPECT_EQ(companion_.installedVersion(serial), 7);
    EXPECT_FALSE(companion_.isReady(serial));
    setInstalled(7, true);
    EXPECT_TRUE(companion_.isReady(serial));

    // Output that matches nothing, or a failing dump, is "not installed".
    sim_.addRule({.commandPrefix = "shell dumpsys package",
                  .output = "versionCode=99999999999999999999 \xc3\xbf\n",
                  .times = 1});
    EXPECT_EQ(companion_.installedVersion(serial), std::nullopt);
    sim_.addRule({.commandPrefix = "shell dumpsys package", .output = "error: closed\n", .exitCode = 1, .times = 1});
    EXPECT_FALSE(companion_.isReady(serial));
}

TEST_F(CompanionTest, SessionBroadcastsReversalsAndDisplayReceiver)
{
    setInstalled(6, true);
    companion_.notifySession(serial, QStringLiteral("started"), QStringLiteral("wifi"));
    EXPECT_EQ(sim_.phone(serial).companionSession, "started wifi");
    companion_.notifySession(serial, QStringLiteral("ended"));
    EXPECT_TRUE(sim_.adbCommands().last().endsWith(QStringLiteral("--es state ended")));

    companion_.enableTransfer(serial);
    companion_.enableTransfer(serial);
    companion_.enableSecondDisplay(serial);
    EXPECT_EQ(sim_.phone(serial).reversedPorts, (phonesim::Words{"tcp:38017 tcp:38017", "tcp:38018 tcp:38018"}));

    companion_.launchDisplayReceiver(serial, 1920, 1080);
    EXPECT_EQ(sim_.phone(serial).displayReceiver, "1920x1080");
    EXPECT_EQ(commandsAfterSerial().last(),
              "shell am start -n " + package + "/.DisplayActivity --ei w 1920 --ei h 1080");
    companion_.stopDisplayReceiver(serial);
    EXPECT_TRUE(sim_.phone(serial).displayReceiver.empty());

    // A vanished phone: every command fails and nothing is thrown.
    sim_.update([](phonesim::SimState &state) { state.phones[0].usbAttached = false; });
    companion_.ensure(serial);
    companion_.notifySession(serial, QStringLiteral("ended"));
    companion_.enableTransfer(serial);
}

TEST_F(CompanionTest, CapabilitiesFollowVersionAndFlags)
{
    const auto probe = [&](const std::string &release, const std::string &restrictions, const std::string &windowing) {
        sim_.update([&](phonesim::SimState &state) {
            phonesim::SimPhone &phone = state.phones[0];
            phone.props["ro.build.version.release"] = release;
            phone.props["persist.wm.debug.desktop_mode_enforce_device_restrictions"] = restrictions;
            if (windowing.empty())
                phone.deviceConfig.erase("windows_manager enable_desktop_windowing_mode");
            else
                phone.deviceConfig["windows_manager enable_desktop_windowing_mode"] = windowing;
        });
        return DeviceCapabilities::detect(adb_, serial);
    };
    using Report = DeviceCapabilities::Report;
    EXPECT_EQ(probe("14", "false", ""), (Report{true, false}));
    EXPECT_EQ(probe("17", "", ""), (Report{true, true}));
    EXPECT_EQ(probe("16", "", ""), (Report{false, false}));
    EXPECT_EQ(probe("15", "", "true"), (Report{true, true}));
    EXPECT_EQ(probe("17.0.1", "", ""), (Report{true, true}));
    EXPECT_EQ(probe("FALSE", "False", "TRUE"), (Report{false, false}));

    EXPECT_EQ(DeviceCapabilities::majorVersion(QStringLiteral("  15.1\n")), 15);
    EXPECT_EQ(DeviceCapabilities::majorVersion(QStringLiteral("..17..")), 17);
    EXPECT_EQ(DeviceCapabilities::majorVersion(QStringLiteral("+18")), 18);
    EXPECT_EQ(DeviceCapabilities::majorVersion(QStringLiteral("")), 0);
    EXPECT_EQ(DeviceCapabilities::majorVersion(QStringLiteral("Baklava")), 0);
    EXPECT_EQ(DeviceCapabilities::majorVersion(QStringLiteral("99999999999999")), 0);

    // All three queries run, in order, even when the phone has gone.
    sim_.update([](phonesim::SimState &state) { state.phones[0].usbAttached = false; });
    sim_.clearInvocations();
    EXPECT_EQ(DeviceCapabilities::detect(adb_, serial), (Report{false, false}));
    EXPECT_EQ(commandsAfterSerial(),
              (QStringList{"shell getprop ro.build.version.release",
                           "shell getprop persist.wm.debug.desktop_mode_enforce_device_restrictions",
                           "shell device_config get windows_manager enable_desktop_windowing_mode"}));
}
