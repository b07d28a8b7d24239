#include "tooling/DeviceListParser.h"

#include <gtest/gtest.h>

using namespace lumarient;

TEST(DeviceListParser, HeaderAloneOrWithBlankLinesGivesNothing)
{
    EXPECT_TRUE(parseDeviceList(QString()).isEmpty());
    EXPECT_TRUE(parseDeviceList(QStringLiteral("List of devices attached\n\n")).isEmpty());
    // The first line is skipped whatever it says, even when it looks like a phone.
    EXPECT_TRUE(parseDeviceList(QStringLiteral("R58M device model:X\n")).isEmpty());
}

TEST(DeviceListParser, ReadsNetworkAndCableEntries)
{
    const QList<ConnectedDevice> devices = parseDeviceList(
        QStringLiteral("List of devices attached\n"
                       "192.168.1.23:5555       device product:beyond1 model:SM_G973F device:beyond1 transport_id:2\n"
                       "adb-R58M-xYz._adb-tls-connect._tcp device product:p model:Pixel_8 device:shiba transport_id:3\n"
                       "R58M123ABC             device usb:1-1 product:p model:Pixel_8 device:shiba transport_id:1\n"));
    ASSERT_EQ(devices.size(), 3);
    EXPECT_EQ(devices[0], (ConnectedDevice{QStringLiteral("192.168.1.23:5555"), QStringLiteral("SM_G973F"), true,
                                           DeviceState::ready}));
    EXPECT_EQ(devices[1].serial, QStringLiteral("adb-R58M-xYz._adb-tls-connect._tcp"));
    EXPECT_TRUE(devices[1].isWifi);
    EXPECT_FALSE(devices[2].isWifi);
    EXPECT_EQ(devices[2].model, QStringLiteral("Pixel_8"));
}

TEST(DeviceListParser, MapsStateWordsAndSkipsUnknownOnes)
{
    const QList<ConnectedDevice> devices = parseDeviceList(QStringLiteral("List of devices attached\n"
                                                                          "AAA unauthorized usb:1-1 transport_id:1\n"
                                                                          "BBB authorizing usb:1-2 transport_id:2\n"
                                                                          "CCC recovery usb:1-3 model:X\n"
                                                                          "DDD sideload\n"
                                                                          "EEE offline transport_id:5\n"
                                                                          "lonely\n"
                                                                          "FFF device model:first model:second\n"));
    ASSERT_EQ(devices.size(), 4);
    EXPECT_EQ(devices[0], (ConnectedDevice{QStringLiteral("AAA"), QString(), false, DeviceState::unauthorized}));
    EXPECT_EQ(devices[1].state, DeviceState::unauthorized);
    EXPECT_EQ(devices[2].serial, QStringLiteral("EEE"));
    EXPECT_EQ(devices[2].state, DeviceState::offline);
    EXPECT_EQ(devices[3].model, QStringLiteral("first"));
}

TEST(DeviceListParser, OnlySpacesSeparateWords)
{
    // The short listing uses a tab: serial and state are then one word.
    EXPECT_TRUE(parseDeviceList(QStringLiteral("List of devices attached\nR58M\tdevice\n")).isEmpty());
    const QList<ConnectedDevice> devices =
        parseDeviceList(QStringLiteral("List of devices attached\r\nR58M   device   model:A\tB\r\n"));
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0].model, QStringLiteral("A\tB\r"));
}

TEST(DeviceListParser, DaemonStartLinesBeforeTheHeaderAreSkipped)
{
    const QList<ConnectedDevice> devices =
        parseDeviceList(QStringLiteral("* daemon not running; starting now at tcp:5037\n"
                                       "* daemon started successfully\n"
                                       "List of devices attached\n"
                                       "R58M device usb:1-1 model:SM_G973F\n"));
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0].serial, QStringLiteral("R58M"));
}

TEST(DeviceListParser, SurvivesArbitraryBytes)
{
    // Whatever adb prints (or whatever stands in its place), parsing never crashes
    // and every entry it returns has a serial and a known state.
    quint32 seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    // Sized from the literal (without its terminator) so the embedded NUL counts.
    static constexpr char letters[] = " \n\t:.model:device unauthorized offline\xff\x00_x";
    const QByteArray alphabet(letters, qsizetype(sizeof letters) - 1);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes;
        const int length = int(next() % 300);
        for (int index = 0; index < length; ++index)
            bytes.append(alphabet[int(next() % quint32(alphabet.size()))]);
        for (const ConnectedDevice &device : parseDeviceList(QString::fromUtf8(bytes)))
            EXPECT_FALSE(device.serial.isEmpty());
    }
}
