#include "ui/ConfigValidation.h"

#include <gtest/gtest.h>

using namespace lumarient;

TEST(ConfigValidation, PortsAreWholeNumbersInRange)
{
    EXPECT_EQ(parseWifiPort(QStringLiteral("5555")), 5555);
    EXPECT_EQ(parseWifiPort(QStringLiteral(" 1 ")), 1);
    EXPECT_EQ(parseWifiPort(QStringLiteral("65535")), 65535);
    for (const char *bad : {"", "0", "65536", "99999", "-1", "+80", "55a", "5 5", "0x50", "1e3", "٥٥٥٥"})
        EXPECT_EQ(parseWifiPort(QString::fromUtf8(bad)), std::nullopt) << bad;
}

TEST(ConfigValidation, ResolutionsAreOverlayNotationOnly)
{
    EXPECT_TRUE(isValidResolution(QStringLiteral("2560x1600/240")));
    EXPECT_TRUE(isValidResolution(QStringLiteral("720x480/160")));
    // Anything that the phone's shell would read as more than one word, or as a command.
    for (const char *bad : {"", "2560x1600", "2560x1600/240 ", "2560x1600/240;reboot", "2560x1600/240,secure",
                            "0x1600/240", "2560X1600/240", "2560x1600/240\n", "$(id)x1/1"})
        EXPECT_FALSE(isValidResolution(QString::fromUtf8(bad))) << bad;
}
