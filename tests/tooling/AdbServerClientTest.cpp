#include "tooling/AdbServerClient.h"

#include "support/EventLoop.h"
#include "support/PhoneWorld.h"
#include "tooling/AdbDeviceTracker.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;
using Outcome = AdbServerClient::Outcome;

namespace {

const QString serial = QStringLiteral("R58M123ABC");

// The client, the ADB layer and the tracker against the simulator's adb server.
class AdbServerClientTest : public ::testing::Test, protected PhoneWorld {
protected:
    AdbServerClientTest() { sim_.addPhone(makePhone(serial, QStringLiteral("SM_G973F"))); }

    void serverAnswers(const std::string &service, const std::string &bytes, bool closes)
    {
        sim_.addRule({.tool = "adb-server", .commandPrefix = service, .output = bytes, .exitCode = closes ? 1 : 0});
    }

    AdbServerClient client(std::chrono::milliseconds limit = AdbServerClient::defaultTimeLimit) const
    {
        return AdbServerClient(sim_.serverPort(), limit);
    }
};

TEST_F(AdbServerClientTest, ListsDevicesAndAsksPhonesOverTheSocket)
{
    ASSERT_TRUE(sim_.startServer());
    const AdbServerClient::Answer listing = client().hostQuery("host:devices-l");
    ASSERT_EQ(listing.outcome, Outcome::answered);
    EXPECT_TRUE(listing.text.startsWith(serial.toUtf8())) << listing.text.constData();
    EXPECT_TRUE(listing.text.contains("model:SM_G973F"));

    EXPECT_EQ(client().phoneQuery(serial, "reverse:list-forward").text, QByteArray());
    EXPECT_EQ(client().phoneCommand(serial, "reverse:forward:tcp:38017;tcp:38017").outcome, Outcome::answered);
    EXPECT_EQ(client().phoneQuery(serial, "reverse:list-forward").text, (serial + " tcp:38017 tcp:38017\n").toUtf8());

    const AdbServerClient::Answer unknown = client().phoneQuery(QStringLiteral("NOPE"), "reverse:list-forward");
    EXPECT_EQ(unknown.outcome, Outcome::refused);
    EXPECT_EQ(unknown.text, QByteArray("device 'NOPE' not found"));
    // A host request the server does not know is no reason to give up on adb.
    EXPECT_EQ(client().hostQuery("host:no-such-thing").outcome, Outcome::unavailable);
}

TEST_F(AdbServerClientTest, BrokenCutOffAndStalledAnswersMeanTheServerIsUnavailable)
{
    const struct {
        const char *bytes;
        bool closes;
    } cases[] = {
        {"OKAY0040List", true},     // closes mid-message
        {"OKAYzz01", true},         // malformed length
        {"HTTP/1.0 400 Bad", true}, // not an adb server
        {"OKAY", true},             // no listing at all
        {"", false},                // says nothing and keeps the connection open
        {"OKAY00ff", false},        // stops mid-message
    };
    ASSERT_TRUE(sim_.startServer());
    for (const auto &row : cases) {
        sim_.update([](phonesim::SimState &state) { state.rules.clear(); });
        serverAnswers("host:devices-l", row.bytes, row.closes);
        EXPECT_EQ(client(300ms).hostQuery("host:devices-l").outcome, Outcome::unavailable) << row.bytes;
    }
}

TEST_F(AdbServerClientTest, NoServerMeansUnavailable)
{
    EXPECT_EQ(client().hostQuery("host:devices-l").outcome, Outcome::unavailable);
    EXPECT_EQ(client().phoneQuery(serial, "reverse:list-forward").outcome, Outcome::unavailable);
}

TEST_F(AdbServerClientTest, AdbUsesProcessesOnlyWithoutAServer)
{
    EXPECT_EQ(adb_.listDevices().size(), 1);
    EXPECT_TRUE(adb_.ensureReverse(serial, 38017));
    EXPECT_EQ(sim_.adbCommands(),
              (QStringList{QStringLiteral("devices -l"), QStringLiteral("-s R58M123ABC reverse tcp:38017 tcp:38017")}));

    ASSERT_TRUE(sim_.startServer());
    sim_.clearInvocations();
    EXPECT_EQ(adb_.listDevices().size(), 1);
    EXPECT_TRUE(adb_.ensureReverse(serial, 38017));
    EXPECT_TRUE(adb_.ensureReverse(serial, 38018));
    EXPECT_TRUE(adb_.ensureReverse(serial, 38018));
    EXPECT_FALSE(adb_.ensureReverse(QStringLiteral("GONE"), 38017));
    EXPECT_TRUE(sim_.adbCommands().isEmpty()) << sim_.adbCommands().join(QLatin1Char('\n')).toStdString();
    int forwards = 0;
    for (const phonesim::SimInvocation &invocation : sim_.invocations())
        forwards += invocation.tool == "adb-server" && invocation.arguments[0].starts_with("reverse:forward:") ? 1 : 0;
    // 38017 was already reversed by the process; 38018 is made once.
    EXPECT_EQ(forwards, 1);
    EXPECT_EQ(sim_.phone(serial).reversedPorts, (phonesim::Words{"tcp:38017 tcp:38017", "tcp:38018 tcp:38018"}));

    // A server that fails the listing for its own reasons: the process answers.
    serverAnswers("host:devices-l", "FAIL0004busy", true);
    EXPECT_EQ(adb_.listDevices().size(), 1);
    EXPECT_EQ(sim_.adbCommands(), QStringList{QStringLiteral("devices -l")});
}

TEST_F(AdbServerClientTest, TrackerSeesPlugAndUnplugAndComesBackAfterTheServerDoes)
{
    AdbDeviceTracker tracker(sim_.serverPort(), AdbDeviceTracker::Timing{50ms, 1000ms});
    QList<QList<ConnectedDevice>> pushes;
    QObject::connect(&tracker, &AdbDeviceTracker::listed,
                     [&](const QList<ConnectedDevice> &devices) { pushes.append(devices); });
    tracker.start();
    spinFor(200ms);
    EXPECT_FALSE(tracker.isTracking());

    ASSERT_TRUE(sim_.startServer());
    ASSERT_TRUE(spinUntil([&] { return pushes.size() == 1; }));
    EXPECT_EQ(pushes.back().size(), 1);

    sim_.addPhone(makePhone(QStringLiteral("SECOND"), QStringLiteral("Pixel_7")));
    ASSERT_TRUE(spinUntil([&] { return pushes.size() == 2; }));
    EXPECT_EQ(pushes.back().size(), 2);
    unplug(serial);
    ASSERT_TRUE(spinUntil([&] { return pushes.size() == 3; }));
    ASSERT_EQ(pushes.back().size(), 1);
    EXPECT_EQ(pushes.back().front().serial, QStringLiteral("SECOND"));

    sim_.stopServer();
    ASSERT_TRUE(spinUntil([&] { return !tracker.isTracking(); }));
    ASSERT_TRUE(sim_.startServer());
    ASSERT_TRUE(spinUntil([&] { return pushes.size() == 4; }));
    EXPECT_TRUE(tracker.isTracking());
}

TEST_F(AdbServerClientTest, TrackerDropsAStalledOrBrokenConnectionAndTriesAgain)
{
    serverAnswers("host:track-devices-l", "OKAY00ff", false);
    serverAnswers("host:track-devices-l", "OKAY00zz", false);
    ASSERT_TRUE(sim_.startServer());
    AdbDeviceTracker tracker(sim_.serverPort(), AdbDeviceTracker::Timing{50ms, 300ms});
    int pushes = 0;
    QObject::connect(&tracker, &AdbDeviceTracker::listed, [&] { ++pushes; });
    tracker.start();
    // The first rule answers every attempt; lift it to let the next one through.
    spinFor(800ms);
    EXPECT_EQ(pushes, 0);
    sim_.update([](phonesim::SimState &state) { state.rules.erase(state.rules.begin()); });
    spinFor(500ms);
    EXPECT_EQ(pushes, 0);
    sim_.update([](phonesim::SimState &state) { state.rules.clear(); });
    EXPECT_TRUE(spinUntil([&] { return pushes == 1 && tracker.isTracking(); }));
}

} // namespace
