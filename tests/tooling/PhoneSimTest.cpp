// The simulator must answer like real adb and Android, or the parsing it is
// meant to exercise is tested against the wrong text.

#include "support/PhoneSim.h"
#include "tooling/Shell.h"

#include <gtest/gtest.h>

#include <QProcess>

using namespace lumarient;
using namespace lumarient::test;

namespace {

QString adb(const PhoneSim &sim, const QStringList &arguments)
{
    return Shell::run(sim.adbPath(), arguments);
}

} // namespace

TEST(PhoneSim, ListsCableAndNetworkTransportsLikeAdb)
{
    PhoneSim sim;
    sim.addPhone(makePhone(QStringLiteral("R58M123ABC"), QStringLiteral("SM_G973F")));
    phonesim::SimPhone pending;
    pending.usbSerial = "0123456789";
    pending.state = "unauthorized";
    sim.addPhone(pending);

    EXPECT_EQ(adb(sim, {"devices", "-l"}),
              QStringLiteral("List of devices attached\n"
                             "R58M123ABC             device usb:1-1 product:sim_product model:SM_G973F "
                             "device:sim_device transport_id:1\n"
                             "0123456789             unauthorized usb:1-2 transport_id:2\n\n"));
    EXPECT_EQ(adb(sim, {"-s", "R58M123ABC", "tcpip", "5555"}), QStringLiteral("restarting in TCP mode port: 5555\n"));
    EXPECT_EQ(adb(sim, {"connect", "192.168.1.23:5555"}), QStringLiteral("connected to 192.168.1.23:5555\n"));
    EXPECT_EQ(adb(sim, {"connect", "192.168.1.23:5555"}), QStringLiteral("already connected to 192.168.1.23:5555\n"));
    EXPECT_TRUE(adb(sim, {"devices", "-l"}).contains(QStringLiteral("192.168.1.23:5555      device product:")));
    EXPECT_EQ(adb(sim, {"-s", "192.168.1.23:5555", "shell", "getprop", "ro.product.model"}),
              QStringLiteral("SM_G973F\n"));

    // A restarted server has forgotten its network connections and says it started.
    EXPECT_EQ(adb(sim, {"kill-server"}), QString());
    const QString listing = adb(sim, {"devices", "-l"});
    EXPECT_TRUE(listing.startsWith(QStringLiteral("* daemon not running; starting now at tcp:5037\n")));
    EXPECT_FALSE(listing.contains(QStringLiteral("192.168.1.23:5555")));
}

TEST(PhoneSim, RefusesCommandsForMissingOrUnauthorizedPhones)
{
    PhoneSim sim;
    phonesim::SimPhone pending = makePhone(QStringLiteral("AAA"), QStringLiteral("M"));
    pending.state = "unauthorized";
    sim.addPhone(pending);
    for (const char *serial : {"AAA", "BBB"}) {
        try {
            adb(sim, {"-s", serial, "shell", "getprop", "ro.product.model"});
            FAIL() << "expected a failure for " << serial;
        } catch (const ShellError &error) {
            EXPECT_EQ(error.code(), 1);
        }
    }
}

TEST(PhoneSim, RulesAnswerInPlaceOfThePhoneAndRunOut)
{
    PhoneSim sim;
    sim.addPhone(makePhone(QStringLiteral("AAA"), QStringLiteral("M")));
    phonesim::SimRule rule;
    rule.serial = "AAA";
    rule.commandPrefix = "shell getprop";
    rule.output = "scripted\n";
    rule.times = 1;
    sim.addRule(rule);
    EXPECT_EQ(adb(sim, {"-s", "AAA", "shell", "getprop", "ro.product.model"}), QStringLiteral("scripted\n"));
    EXPECT_EQ(adb(sim, {"-s", "AAA", "shell", "getprop", "ro.product.model"}), QStringLiteral("M\n"));
    EXPECT_EQ(sim.adbCommands().size(), 2);
}

TEST(PhoneSim, ScrcpyStandInRecordsItsLaunchAndRunsUntilTerminated)
{
    PhoneSim sim;
    sim.addPhone(makePhone(QStringLiteral("R58M"), QStringLiteral("SM_G973F")));
    sim.update([](phonesim::SimState &state) { state.scrcpy.output = "INFO: Device: sim\n"; });
    QProcess scrcpy;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ADB"), sim.adbPath());
    environment.remove(QStringLiteral("SCRCPY_SERVER_PATH"));
    scrcpy.setProcessEnvironment(environment);
    scrcpy.start(sim.scrcpyPath(),
                 {QStringLiteral("-s"), QStringLiteral("R58M"), QStringLiteral("--window-title=My Phone")});
    ASSERT_TRUE(scrcpy.waitForReadyRead(10000));
    EXPECT_EQ(scrcpy.readAll(), QByteArray("INFO: Device: sim\n"));
    EXPECT_FALSE(scrcpy.waitForFinished(200));
    scrcpy.terminate();
    ASSERT_TRUE(scrcpy.waitForFinished(10000));
    EXPECT_EQ(scrcpy.exitCode(), 0);

    const std::vector<phonesim::SimInvocation> runs = sim.invocations();
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs[0].tool, "scrcpy");
    EXPECT_EQ(runs[0].arguments, (phonesim::Words{"-s", "R58M", "--window-title=My Phone"}));
    EXPECT_EQ(runs[0].environment, (phonesim::TextMap{{"ADB", sim.adbPath().toStdString()}}));
}

TEST(PhoneSim, ScrcpyStandInExitsWhenScripted)
{
    PhoneSim sim;
    sim.update([](phonesim::SimState &state) {
        state.scrcpy.exitAfterMs = 50;
        state.scrcpy.exitCode = 1;
    });
    QProcess scrcpy;
    scrcpy.start(sim.scrcpyPath(), {QStringLiteral("-s"), QStringLiteral("gone")});
    ASSERT_TRUE(scrcpy.waitForFinished(10000));
    EXPECT_EQ(scrcpy.exitCode(), 1);
}
