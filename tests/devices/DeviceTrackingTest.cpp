#include "ManagerHarness.h"

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const QString usbSerial = QStringLiteral("R58M123ABC");
const QString model = QStringLiteral("SM_S918B");

class DeviceTrackingTest : public ManagerHarness {
protected:
    int serverRequests(const std::string &prefix) const
    {
        int found = 0;
        for (const phonesim::SimInvocation &invocation : sim_.invocations())
            found += invocation.tool == "adb-server" && invocation.arguments[0].starts_with(prefix) ? 1 : 0;
        return found;
    }
};

} // namespace

TEST_F(DeviceTrackingTest, APluggedPhoneAppearsWithoutAPollAndWithoutAdbProcesses)
{
    ASSERT_TRUE(sim_.startServer());
    // No poll timer: only the tracked server can tell the manager.
    DeviceManager &manager = startManager();
    ASSERT_TRUE(spinUntil([&] { return serverRequests("host:track-devices-l") == 1; }));
    EXPECT_TRUE(manager.devices().isEmpty());

    sim_.addPhone(makePhone(usbSerial, model));
    ASSERT_TRUE(spinUntil([&] { return manager.devices().size() == 1; }));
    ASSERT_TRUE(spinUntil([&] { return sim_.phone(usbSerial).reversedPorts.size() == 1; }));
    // The upkeep's answer has to come back before a refresh may start more.
    spinFor(200ms);
    refreshNow();
    ASSERT_TRUE(spinUntil([&] { return serverRequests("reverse:list-forward") == 2; }));
    // The reversal stands, so the second refresh only looked at it.
    EXPECT_EQ(serverRequests("reverse:forward:tcp:38017;tcp:38017"), 1);
    EXPECT_EQ(count(QStringLiteral("devices")), 0);
    EXPECT_EQ(count(QStringLiteral("reverse")), 0);

    unplug(usbSerial);
    ASSERT_TRUE(spinUntil([&] { return manager.devices().isEmpty(); }));
}
