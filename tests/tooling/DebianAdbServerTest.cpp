#include "support/EventLoop.h"
#include "support/FreePort.h"
#include "tooling/AdbDeviceTracker.h"
#include "tooling/AdbServerClient.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace lumarient;
using namespace lumarient::test;
using Outcome = AdbServerClient::Outcome;

namespace {

// The adb server of Debian's own adb package, on a port of its own and with a
// home of its own (it keeps its key there), with no phone attached.
class DebianAdbServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        adb_ = QStandardPaths::findExecutable(QStringLiteral("adb"));
        if (adb_.isEmpty())
            GTEST_SKIP() << "Debian's adb is not installed";
        ASSERT_TRUE(home_.isValid());
        port_ = freeLoopbackPort();
        ASSERT_EQ(adb({QStringLiteral("start-server")}), 0);
    }

    void TearDown() override
    {
        if (!adb_.isEmpty())
            adb({QStringLiteral("kill-server")});
    }

    int adb(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home_.path());
        // No scan for emulators: it would connect to other tests' listeners on
        // loopback ports from 5555 on, and list them.
        environment.insert(QStringLiteral("ADB_EMU"), QStringLiteral("0"));
        process.setProcessEnvironment(environment);
        process.start(adb_, QStringList{QStringLiteral("-P"), QString::number(port_)} + arguments);
        if (!process.waitForFinished(20000))
            return -1;
        return process.exitCode();
    }

    QString adb_;
    QTemporaryDir home_;
    std::uint16_t port_ = 0;
};

} // namespace

TEST_F(DebianAdbServerTest, AnswersTheQueriesTheAppAsksWithoutAnAdbProcess)
{
    const AdbServerClient client(port_);
    const AdbServerClient::Answer devices = client.hostQuery("host:devices-l");
    EXPECT_EQ(devices.outcome, Outcome::answered);
    EXPECT_TRUE(devices.text.isEmpty()) << devices.text.toStdString();

    // A phone the server does not know is refused (a process would fare no
    // better), not taken for a server that cannot be reached.
    const AdbServerClient::Answer reversals = client.phoneQuery(QStringLiteral("R5CT000000"), "reverse:list-forward");
    EXPECT_EQ(reversals.outcome, Outcome::refused);
    EXPECT_TRUE(reversals.text.contains("not found")) << reversals.text.toStdString();

    AdbDeviceTracker tracker(port_);
    int tracked = -1;
    QObject::connect(&tracker, &AdbDeviceTracker::listed,
                     [&](const QList<ConnectedDevice> &listed) { tracked = int(listed.size()); });
    tracker.start();
    ASSERT_TRUE(spinUntil([&] { return tracked >= 0; })) << "the tracker got no first list";
    EXPECT_EQ(tracked, 0);
    EXPECT_TRUE(tracker.isTracking());
}
