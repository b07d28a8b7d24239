// The simulator's wireless behaviours: what the wireless policy is tested against
// must answer like adb does for Wi-Fi and mDNS transports.

#include "support/PhoneSim.h"
#include "tooling/Shell.h"

#include <gtest/gtest.h>

using namespace lumarient;
using namespace lumarient::test;

namespace {

QString adb(const PhoneSim &sim, const QStringList &arguments)
{
    return Shell::run(sim.adbPath(), arguments);
}

const QString mdnsSerial = QStringLiteral("adb-R58M123ABC-AbCdEf._adb-tls-connect._tcp");

} // namespace

TEST(PhoneSimWireless, MdnsSerialsAreListedAndServeCommandsUntilAdbdRestarts)
{
    PhoneSim sim;
    phonesim::SimPhone phone = makePhone(QStringLiteral("R58M123ABC"), QStringLiteral("SM_G973F"));
    phone.usbAttached = false;
    phone.wirelessDebuggingPort = 41234;
    phone.wirelessDebuggingPaired = true;
    phone.mdnsSerial = mdnsSerial.toStdString();
    sim.addPhone(phone);
    const QString address = QString::fromStdString(phone.wlanAddress);

    const QString listing = adb(sim, {"devices", "-l"});
    EXPECT_TRUE(listing.contains(mdnsSerial + QStringLiteral(" device product:sim_product model:SM_G973F")))
        << listing.toStdString();
    EXPECT_FALSE(listing.contains(QStringLiteral("usb:")));
    EXPECT_EQ(adb(sim, {"-s", mdnsSerial, "shell", "getprop", "ro.product.model"}), QStringLiteral("SM_G973F\n"));

    // The wireless-debugging port accepts a connection of its own.
    const QString debugging = address + QStringLiteral(":41234");
    EXPECT_EQ(adb(sim, {"connect", debugging}), QStringLiteral("connected to ") + debugging + '\n');
    EXPECT_TRUE(adb(sim, {"devices"}).contains(debugging + QStringLiteral("\tdevice")));

    // `tcpip` restarts adbd: both network transports go, the new port connects.
    EXPECT_EQ(adb(sim, {"-s", mdnsSerial, "tcpip", "5557"}), QStringLiteral("restarting in TCP mode port: 5557\n"));
    const QString afterRestart = adb(sim, {"devices"});
    EXPECT_FALSE(afterRestart.contains(mdnsSerial));
    EXPECT_FALSE(afterRestart.contains(debugging));
    EXPECT_EQ(adb(sim, {"connect", address + QStringLiteral(":5557")}),
              QStringLiteral("connected to ") + address + QStringLiteral(":5557\n"));
    EXPECT_TRUE(adb(sim, {"devices"}).contains(address + QStringLiteral(":5557\tdevice")));
}

TEST(PhoneSimWireless, DisconnectDropsMdnsTransportsToo)
{
    PhoneSim sim;
    phonesim::SimPhone phone = makePhone(QStringLiteral("R58M123ABC"), QStringLiteral("SM_G973F"));
    phone.mdnsSerial = mdnsSerial.toStdString();
    sim.addPhone(phone);
    EXPECT_EQ(adb(sim, {"disconnect", mdnsSerial}), QStringLiteral("disconnected ") + mdnsSerial + '\n');
    EXPECT_FALSE(adb(sim, {"devices"}).contains(mdnsSerial));

    sim.update([](phonesim::SimState &state) { state.phones[0].mdnsSerial = "x._adb-tls-connect._tcp"; });
    EXPECT_EQ(adb(sim, {"disconnect"}), QStringLiteral("disconnected everything\n"));
    EXPECT_FALSE(adb(sim, {"devices"}).contains(QStringLiteral("x._adb-tls-connect")));
}

TEST(PhoneSimWireless, WirelessDebuggingConnectsOnlyAfterPairingWithTheRightCode)
{
    PhoneSim sim;
    phonesim::SimPhone phone = makePhone(QStringLiteral("R58M123ABC"), QStringLiteral("SM_G973F"));
    phone.usbAttached = false;
    phone.wirelessDebuggingPort = 41234;
    sim.addPhone(phone);
    sim.update([](phonesim::SimState &state) { state.pairingCodes["192.168.1.23:37001"] = "482913"; });

    EXPECT_TRUE(adb(sim, {"connect", "192.168.1.23:41234"}).startsWith(QStringLiteral("failed to connect")));
    EXPECT_THROW(adb(sim, {"pair", "192.168.1.23:37001", "000000"}), ShellError);
    EXPECT_THROW(adb(sim, {"pair", "192.168.1.24:37001", "482913"}), ShellError);
    EXPECT_TRUE(adb(sim, {"connect", "192.168.1.23:41234"}).startsWith(QStringLiteral("failed to connect")));

    EXPECT_TRUE(adb(sim, {"pair", "192.168.1.23:37001", "482913"}).startsWith(QStringLiteral("Successfully paired")));
    EXPECT_EQ(adb(sim, {"connect", "192.168.1.23:41234"}), QStringLiteral("connected to 192.168.1.23:41234\n"));
    // The pairing port itself is no place to connect to.
    EXPECT_TRUE(adb(sim, {"connect", "192.168.1.23:37001"}).startsWith(QStringLiteral("failed to connect")));
}
