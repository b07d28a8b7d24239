#include "input/InputRecords.h"
#include "input/MovementCoalescer.h"

#include <gtest/gtest.h>

#include <limits>

namespace lumarient {
namespace {

using Record = InputRecords::Record;

Buttons buttons(std::uint8_t raw)
{
    return Buttons{raw};
}

TEST(InputRecordsTest, MouseRecordBytes)
{
    const struct {
        const char *name;
        std::uint8_t buttons;
        std::int64_t dx, dy, wheel, pan;
        Record bytes;
    } rows[] = {
        {"small movement", 0, 4, -3, 0, 0, {0x6D, 0x00, 0x00, 0x04, 0xFF, 0xFD, 0x00, 0x00}},
        {"buttons and both scrolls", 7, 0, 0, -1, 1, {0x6D, 0x07, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x01}},
        {"big-endian halves", 0, 0x1234, -0x1234, 0, 0, {0x6D, 0x00, 0x12, 0x34, 0xED, 0xCC, 0x00, 0x00}},
        {"dx beyond 16 bits clamps", 0, 40000, 0, 0, 0, {0x6D, 0x00, 0x7F, 0xFF, 0x00, 0x00, 0x00, 0x00}},
        {"dy below 16 bits clamps", 0, 0, -40000, 0, 0, {0x6D, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00}},
        {"16-bit limits stay exact", 0, 32767, -32768, 0, 0, {0x6D, 0x00, 0x7F, 0xFF, 0x80, 0x00, 0x00, 0x00}},
        {"wheel -200 and pan 300 clamp", 0, 0, 0, -200, 300, {0x6D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x7F}},
        {"64-bit extremes never wrap",
         1,
         std::numeric_limits<std::int64_t>::max(),
         std::numeric_limits<std::int64_t>::min(),
         std::numeric_limits<std::int64_t>::min(),
         std::numeric_limits<std::int64_t>::max(),
         {0x6D, 0x01, 0x7F, 0xFF, 0x80, 0x00, 0x80, 0x7F}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(InputRecords::mouse(buttons(row.buttons), row.dx, row.dy, row.wheel, row.pan), row.bytes) << row.name;
}

TEST(InputRecordsTest, KeyboardRecordIsASnapshotOfAtMostSixKeys)
{
    EXPECT_EQ(InputRecords::keyboard(0x02, {0x04}), (Record{0x6B, 0x02, 0x04, 0, 0, 0, 0, 0}));
    EXPECT_EQ(InputRecords::keyboard(0x00, {}), (Record{0x6B, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(InputRecords::keyboard(0x40, {1, 2, 3, 4, 5, 6, 7}), (Record{0x6B, 0x40, 1, 2, 3, 4, 5, 6}));
}

class MovementCoalescerTest : public ::testing::Test {
protected:
    MovementCoalescer coalescer;
};

TEST_F(MovementCoalescerTest, PureMovementWaitsForTheFlushAndLosesNoDistance)
{
    EXPECT_TRUE(coalescer.sendMouse(3, 1, {}, 0, 0).empty());
    EXPECT_TRUE(coalescer.sendMouse(2, 0, {}, 0, 0).empty());
    EXPECT_TRUE(coalescer.sendMouse(-1, -4, {}, 0, 0).empty());
    EXPECT_EQ(coalescer.flushPending(), (Record{0x6D, 0x00, 0x00, 0x04, 0xFF, 0xFD, 0x00, 0x00}));
    EXPECT_EQ(coalescer.flushPending(), std::nullopt);
}

TEST_F(MovementCoalescerTest, MovementThatCancelsOutSendsNothing)
{
    coalescer.sendMouse(5, -5, {}, 0, 0);
    coalescer.sendMouse(-5, 5, {}, 0, 0);
    EXPECT_EQ(coalescer.flushPending(), std::nullopt);
}

TEST_F(MovementCoalescerTest, AButtonChangeCarriesThePendingMovementAtOnce)
{
    coalescer.sendMouse(10, 0, {}, 0, 0);
    const std::vector<Record> records = coalescer.sendMouse(0, 0, buttons(Buttons::left), 0, 0);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], (Record{0x6D, 0x01, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(coalescer.flushPending(), std::nullopt);
    // Dragging with the button held is movement again, coalesced with its mask.
    EXPECT_TRUE(coalescer.sendMouse(1, 1, buttons(Buttons::left), 0, 0).empty());
    EXPECT_EQ(coalescer.flushPending(), (Record{0x6D, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00}));
}

TEST_F(MovementCoalescerTest, ScrollGoesOutAtOnceEvenWithUnchangedButtons)
{
    const std::vector<Record> records = coalescer.sendMouse(0, 0, {}, -3, 0);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], (Record{0x6D, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFD, 0x00}));
}

TEST_F(MovementCoalescerTest, AnOverflowingChangeSendsThePendingMovementFirst)
{
    coalescer.sendMouse(30000, 0, {}, 0, 0);
    const std::vector<Record> records = coalescer.sendMouse(5000, 0, buttons(Buttons::right), 0, 0);
    ASSERT_EQ(records.size(), 2u);
    // The pending movement already carries the new mask.
    EXPECT_EQ(records[0], (Record{0x6D, 0x02, 0x75, 0x30, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(records[1], (Record{0x6D, 0x02, 0x13, 0x88, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(MovementCoalescerTest, AKeyChangeFollowsThePendingMovement)
{
    coalescer.sendMouse(2, 2, {}, 0, 0);
    const std::vector<Record> records = coalescer.sendKeys(0x00, {0x04});
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0][0], InputRecords::mouseKind);
    EXPECT_EQ(records[1], (Record{0x6B, 0x00, 0x04, 0, 0, 0, 0, 0}));
    EXPECT_EQ(coalescer.sendKeys(0x00, {}).size(), 1u);
}

TEST_F(MovementCoalescerTest, HugeMovementSumsSaturateInsteadOfOverflowing)
{
    coalescer.sendMouse(std::numeric_limits<std::int64_t>::max(), 0, {}, 0, 0);
    coalescer.sendMouse(std::numeric_limits<std::int64_t>::max(), 0, {}, 0, 0);
    EXPECT_EQ(coalescer.pendingDX(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(coalescer.flushPending(), (Record{0x6D, 0x00, 0x7F, 0xFF, 0x00, 0x00, 0x00, 0x00}));
}

} // namespace
} // namespace lumarient
