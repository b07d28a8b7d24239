#include "tooling/DeviceListParser.h"

#include <gtest/gtest.h>

using namespace lumarient;

namespace {

const QString header = QStringLiteral("List of devices attached\n");

ConnectedDevice device(const char *serial, const char *model, bool isWifi = false,
                       DeviceState state = DeviceState::ready)
{
    return {QString::fromLatin1(serial), QString::fromLatin1(model), isWifi, state};
}

} // namespace

TEST(DeviceListParser, ReadsEachListingAsAdbMeansIt)
{
    const struct {
        const char *what;
        QString listing;
        QList<ConnectedDevice> devices;
    } cases[] = {
        {"nothing", QString(), {}},
        {"header and blank lines", header + QStringLiteral("\n"), {}},
        // The first line is skipped whatever it says, even when it looks like a phone.
        {"no header", QStringLiteral("R58M device model:X\n"), {}},
        {"network and cable entries",
         header + QStringLiteral("192.168.1.23:5555       device product:beyond1 model:SM_G973F device:beyond1 "
                                 "transport_id:2\n"
                                 "adb-R58M-xYz._adb-tls-connect._tcp device product:p model:Pixel_8 transport_id:3\n"
                                 "R58M123ABC             device usb:1-1 product:p model:Pixel_8 transport_id:1\n"),
         {device("192.168.1.23:5555", "SM_G973F", true), device("adb-R58M-xYz._adb-tls-connect._tcp", "Pixel_8", true),
          device("R58M123ABC", "Pixel_8")}},
        {"state words, unknown ones skipped",
         header + QStringLiteral("AAA unauthorized usb:1-1 transport_id:1\n"
                                 "BBB authorizing usb:1-2 transport_id:2\n"
                                 "CCC recovery usb:1-3 model:X\n"
                                 "DDD sideload\n"
                                 "EEE offline transport_id:5\n"
                                 "lonely\n"
                                 "FFF device model:first model:second\n"),
         {device("AAA", "", false, DeviceState::unauthorized), device("BBB", "", false, DeviceState::unauthorized),
          device("EEE", "", false, DeviceState::offline), device("FFF", "first")}},
        // The short listing uses a tab: serial and state are then one word.
        {"tab", header + QStringLiteral("R58M\tdevice\n"), {}},
        {"only spaces separate words",
         QStringLiteral("List of devices attached\r\nR58M   device   model:A\tB\r\n"),
         {device("R58M", "A\tB\r")}},
        {"daemon start lines before the header",
         QStringLiteral("* daemon not running; starting now at tcp:5037\n* daemon started successfully\n") + header +
             QStringLiteral("R58M device usb:1-1 model:SM_G973F\n"),
         {device("R58M", "SM_G973F")}},
    };
    for (const auto &[what, listing, devices] : cases)
        EXPECT_EQ(parseDeviceList(listing), devices) << what;
}

TEST(DeviceListParser, SurvivesArbitraryBytes)
{
    // Whatever adb prints (or whatever stands in its place), parsing never crashes
    // and every entry it returns has a serial.
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
