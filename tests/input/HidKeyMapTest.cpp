#include "input/HidKeyMap.h"
#include "input/EvdevKeyMap.h"
#include "input/HeldModifiers.h"

#include <gtest/gtest.h>

#include <set>

namespace lumarient {
namespace {

// The HID usage a Linux key reaches the phone as, 0 when it is not forwarded.
std::uint8_t usageOfEvdev(unsigned code)
{
    const std::optional<std::uint8_t> virtualCode = EvdevKeyMap::virtualKeyCode(code);
    return virtualCode ? HidKeyMap::usage(*virtualCode) : 0;
}

struct KeyRow {
    const char *name;
    unsigned evdev;
    std::uint8_t usage;
};

// Evdev numbers from linux/input-event-codes.h, usages from the USB HID Usage
// Tables (Keyboard/Keypad page), written out rather than taken from headers so
// a wrong row in either table shows up.
const KeyRow keyRows[] = {
    {"A", 30, 0x04},
    {"Z", 44, 0x1D},
    {"M", 50, 0x10},
    {"Q", 16, 0x14},
    {"1", 2, 0x1E},
    {"5", 6, 0x22},
    {"6", 7, 0x23},
    {"0", 11, 0x27},
    {"minus", 12, 0x2D},
    {"equal", 13, 0x2E},
    {"left brace", 26, 0x2F},
    {"right brace", 27, 0x30},
    {"backslash", 43, 0x31},
    {"semicolon", 39, 0x33},
    {"apostrophe", 40, 0x34},
    {"grave", 41, 0x35},
    {"comma", 51, 0x36},
    {"slash", 53, 0x38},
    {"ISO key beside left shift", 86, 0x64},
    {"Enter", 28, 0x28},
    {"Escape", 1, 0x29},
    {"Backspace", 14, 0x2A},
    {"Tab", 15, 0x2B},
    {"Space", 57, 0x2C},
    {"F1", 59, 0x3A},
    {"F3", 61, 0x3C},
    {"F5", 63, 0x3E},
    {"F10", 68, 0x43},
    {"F11", 87, 0x44},
    {"F12", 88, 0x45},
    {"Insert", 110, 0x49},
    {"Home", 102, 0x4A},
    {"Page Up", 104, 0x4B},
    {"Delete", 111, 0x4C},
    {"End", 107, 0x4D},
    {"Page Down", 109, 0x4E},
    {"Right", 106, 0x4F},
    {"Left", 105, 0x50},
    {"Down", 108, 0x51},
    {"Up", 103, 0x52},
    {"keypad slash", 98, 0x54},
    {"keypad asterisk", 55, 0x55},
    {"keypad minus", 74, 0x56},
    {"keypad plus", 78, 0x57},
    {"keypad Enter", 96, 0x58},
    {"keypad 1", 79, 0x59},
    {"keypad 7", 71, 0x5F},
    {"keypad 8", 72, 0x60},
    {"keypad 0", 82, 0x62},
    {"keypad dot", 83, 0x63},
    // Keys the phone never gets as usages: modifiers (they travel in the
    // modifier byte), caps lock, and keys without a counterpart.
    {"left shift", 42, 0},
    {"right Alt (AltGr)", 100, 0},
    {"left meta", 125, 0},
    {"caps lock", 58, 0},
    {"Num Lock", 69, 0},
    {"F13", 183, 0},
    {"volume up", 115, 0},
    {"SysRq", 99, 0},
    {"Pause", 119, 0},
    {"reserved code 0", 0, 0},
    {"beyond the key range", 0x300, 0},
    {"huge code", 0xFFFFFFFFu, 0},
};

TEST(HidKeyMapTest, LinuxKeysReachThePhoneAsTheirHidUsages)
{
    for (const KeyRow &row : keyRows)
        EXPECT_EQ(usageOfEvdev(row.evdev), row.usage) << row.name;
}

TEST(HidKeyMapTest, XKeycodesAreEvdevCodesOffsetByEight)
{
    // X's evdev rules put "a" at keycode 38 and Return at 36.
    EXPECT_EQ(usageOfEvdev(38 - EvdevKeyMap::xKeycodeOffset), 0x04);
    EXPECT_EQ(usageOfEvdev(36 - EvdevKeyMap::xKeycodeOffset), 0x28);
}

TEST(HidKeyMapTest, EveryForwardedUsageBelongsToExactlyOneLinuxKey)
{
    std::set<std::uint8_t> reached;
    for (unsigned code = 0; code < 0x300; ++code) {
        const std::uint8_t usage = usageOfEvdev(code);
        if (usage != 0) {
            EXPECT_TRUE(reached.insert(usage).second) << "usage " << int(usage) << " again at evdev " << code;
        }
    }
    std::set<std::uint8_t> inTable;
    for (std::uint8_t usage : HidKeyMap::table()) {
        if (usage != 0)
            inTable.insert(usage);
    }
    EXPECT_EQ(reached, inTable);
    EXPECT_EQ(inTable.size(), 91u);
}

TEST(HidKeyMapTest, VirtualCodesOutsideTheTableAreNotForwarded)
{
    EXPECT_EQ(HidKeyMap::usage(0x38), 0);
    EXPECT_EQ(HidKeyMap::usage(0x39), 0);
    EXPECT_EQ(HidKeyMap::usage(0x7F), 0);
    EXPECT_EQ(HidKeyMap::usage(128), 0);
    EXPECT_EQ(HidKeyMap::usage(0xFFFFFFFFu), 0);
}

TEST(HidKeyMapTest, ModifierByteFromFlags)
{
    using namespace ModifierFlags;
    const struct {
        const char *name;
        std::uint32_t flags;
        std::uint8_t byte;
    } rows[] = {
        {"left shift", leftShift | shift, 0x02},
        {"right shift", rightShift | shift, 0x20},
        {"both shifts", leftShift | rightShift | shift, 0x22},
        {"generic control only", control, 0x01},
        {"right control", rightControl | control, 0x10},
        {"generic option and command", option | command, 0x0C},
        {"right option", rightOption | option, 0x40},
        {"right command", rightCommand | command, 0x80},
        {"caps lock alone", capsLock, 0x00},
        {"every side",
         leftControl | leftShift | leftOption | leftCommand | rightControl | rightShift | rightOption | rightCommand,
         0xFF},
    };
    for (const auto &row : rows)
        EXPECT_EQ(HidKeyMap::modifiers(row.flags), row.byte) << row.name;
}

class HeldModifiersTest : public ::testing::Test {
protected:
    std::uint8_t byte() const { return HidKeyMap::modifiers(held.flags()); }

    HeldModifiers held;
};

TEST_F(HeldModifiersTest, EachSideIsTrackedByItsOwnKey)
{
    EXPECT_TRUE(held.press(42)); // left shift
    EXPECT_EQ(byte(), 0x02);
    EXPECT_TRUE(held.press(54)); // right shift
    EXPECT_EQ(byte(), 0x22);
    EXPECT_TRUE(held.release(42));
    EXPECT_EQ(byte(), 0x20);
    held.press(97);  // right control
    held.press(125); // left meta
    EXPECT_EQ(byte(), 0x20 | 0x10 | 0x08);
    held.clear();
    EXPECT_EQ(byte(), 0x00);
}

TEST_F(HeldModifiersTest, AltGrIsRightOption)
{
    held.press(100);
    EXPECT_EQ(byte(), 0x40);
    held.press(56); // left Alt as well
    EXPECT_EQ(byte(), 0x44);
    held.release(100);
    EXPECT_EQ(byte(), 0x04);
}

TEST_F(HeldModifiersTest, OtherKeysAndCapsLockLeaveTheByteAlone)
{
    EXPECT_FALSE(held.press(30)); // A
    EXPECT_TRUE(held.press(58));  // caps lock: tracked, never forwarded
    EXPECT_EQ(byte(), 0x00);
    EXPECT_FALSE(held.release(0xFFFFFFFFu));
    // A release without a press (the key went down before capture began).
    EXPECT_TRUE(held.release(29));
    EXPECT_EQ(byte(), 0x00);
}

} // namespace
} // namespace lumarient
