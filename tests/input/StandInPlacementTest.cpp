#include "input/StandInPlacement.h"

#include <gtest/gtest.h>

using namespace lumarient;

namespace {

const DisplayRect mainDisplay{0, 0, 1920, 1080};

TEST(StandInPlacementTest, SidesAreTestedLeftRightThenAboveBelow)
{
    struct Case {
        const char *name;
        DisplayRect standIn;
        Placement expected;
    };
    const Case cases[] = {
        {"left edge on the main's right edge", {1920, 0, 1920, 1080}, Placement::right},
        {"right edge on the main's left edge", {-1080, 200, 1080, 2400}, Placement::left},
        {"above, touching", {0, -1080, 1920, 1080}, Placement::above},
        {"below, touching", {500, 1080, 1920, 1080}, Placement::below},
        {"right of and below", {2000, 1200, 800, 600}, Placement::right},
        {"left of and above", {-900, -700, 800, 600}, Placement::left},
        {"straddling the right edge", {1900, 0, 1920, 1080}, Placement::overlapping},
        {"inside", {100, 100, 200, 200}, Placement::overlapping},
    };
    for (const Case &c : cases)
        EXPECT_EQ(placementOf(c.standIn, mainDisplay), c.expected) << c.name;
}

TEST(StandInPlacementTest, AnOriginOnEachSideGivesThatSideBackCentredAlongTheEdge)
{
    for (const Placement side : {Placement::left, Placement::right, Placement::above, Placement::below}) {
        const auto origin = standInOrigin(side, {100, 50, 1920, 1080}, 1280, 800);
        ASSERT_TRUE(origin);
        const DisplayRect placed{origin->first, origin->second, 1280, 800};
        EXPECT_EQ(placementOf(placed, {100, 50, 1920, 1080}), side) << placementName(side).toStdString();
        if (side == Placement::left || side == Placement::right)
            EXPECT_EQ(placed.y, 50 + 140);
        else
            EXPECT_EQ(placed.x, 100 + 320);
        EXPECT_EQ(placementNamed(placementName(side)), side);
    }
    EXPECT_FALSE(standInOrigin(Placement::overlapping, mainDisplay, 10, 10));
    for (const char *name : {"overlapping", "", "Left", "sideways"})
        EXPECT_FALSE(placementNamed(QString::fromLatin1(name))) << name;
}

} // namespace
