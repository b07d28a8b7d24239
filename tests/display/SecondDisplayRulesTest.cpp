#include "display/SecondDisplaySizing.h"
#include "display/VirtualDisplay.h"
#include "ui/SecondDisplayMenu.h"

#include <gtest/gtest.h>

using namespace lumarient;

TEST(SecondDisplaySizing, FollowsThePhoneAspectWithinTheLinkCapAndEvenHeights)
{
    EXPECT_EQ(secondDisplaySize(std::nullopt, false), (ScreenSize{1440, 900}));
    EXPECT_EQ(secondDisplaySize(std::nullopt, true), (ScreenSize{1440, 900}));
    EXPECT_EQ(secondDisplaySize(ScreenSize{1080, 2400}, false), (ScreenSize{2400, 1080}));
    EXPECT_EQ(secondDisplaySize(ScreenSize{1080, 2400}, true), (ScreenSize{1920, 864}));
    EXPECT_EQ(secondDisplaySize(ScreenSize{1440, 3200}, true), (ScreenSize{1920, 864}));
    EXPECT_EQ(secondDisplaySize(ScreenSize{1440, 3200}, false), (ScreenSize{2560, 1152}));
    // Landscape whatever the phone's orientation.
    EXPECT_EQ(secondDisplaySize(ScreenSize{3200, 1440}, false), (ScreenSize{2560, 1152}));
    // 1081 x 1921 gives 1080.9... -> 1081 -> 1080.
    EXPECT_EQ(secondDisplaySize(ScreenSize{1081, 1921}, true), (ScreenSize{1920, 1080}));
    EXPECT_EQ(secondDisplaySize(ScreenSize{0, 2400}, true), (ScreenSize{1440, 900})) << "nonsense size";
}

TEST(SecondDisplayMenu, EntriesFollowWhichPhoneHasTheDisplay)
{
    using Kind = SecondDisplayMenuEntry::Kind;
    const QString a = QStringLiteral("A1"), b = QStringLiteral("B2");

    const SecondDisplayMenuEntry idle = secondDisplayMenuEntry(std::nullopt, a, false);
    EXPECT_EQ(idle.kind, Kind::start);
    EXPECT_EQ(idle.text, QStringLiteral("Use as Second Display"));

    const SecondDisplayMenuEntry mine = secondDisplayMenuEntry(a, a, true);
    EXPECT_EQ(mine.kind, Kind::stop);
    EXPECT_EQ(mine.text, QStringLiteral("Stop Second Display"));

    const SecondDisplayMenuEntry other = secondDisplayMenuEntry(a, b, false);
    EXPECT_EQ(other.kind, Kind::busy);
    EXPECT_EQ(other.text, QStringLiteral("Second display busy on another phone"));

    EXPECT_EQ(secondDisplayMenuEntry(a, b, true).kind, Kind::none) << "B's own session shows its stop entry";
    EXPECT_EQ(secondDisplayMenuEntry(std::nullopt, b, true).kind, Kind::none);
}

TEST(VirtualDisplay, PhysicalSizeIsThatOfA121Point9PpiPanel)
{
    EXPECT_NEAR(VirtualDisplay::millimeters(1920), 400.07, 0.01);
    EXPECT_NEAR(VirtualDisplay::millimeters(1080), 225.04, 0.01);
}
