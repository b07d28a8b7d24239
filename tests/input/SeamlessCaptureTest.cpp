#include "input/SeamlessCapture.h"

#include "display/DisplayGeometryCache.h"
#include "input/InputFakes.h"
#include "input/InputSink.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <limits>
#include <map>

using namespace lumarient;

namespace {

using Event = InputTap::Event;
using EventType = InputTap::EventType;
using Edge = SeamlessCapture::Edge;

using test::FakeLayout;
using test::FakeTap;

struct Sent {
    bool isKeys = false;
    std::uint8_t modifiers = 0;
    std::vector<std::uint8_t> keys;
    std::int64_t dx = 0, dy = 0, wheel = 0, pan = 0;
    std::uint8_t buttons = 0;
};

class RecordingSink final : public InputSink {
public:
    std::vector<Sent> sent;

    void sendMouse(std::int64_t dx, std::int64_t dy, Buttons buttons, std::int64_t wheel, std::int64_t pan) override
    {
        sent.push_back({false, 0, {}, dx, dy, wheel, pan, buttons.rawValue});
    }
    void sendKeys(std::uint8_t modifiers, const std::vector<std::uint8_t> &keys) override
    {
        sent.push_back({true, modifiers, keys});
    }
    std::optional<Sent> lastKeys() const
    {
        for (auto it = sent.rbegin(); it != sent.rend(); ++it) {
            if (it->isKeys)
                return *it;
        }
        return std::nullopt;
    }
    // The release pair: everything let go, keys then buttons.
    bool endsWithRelease() const
    {
        return sent.size() >= 2 && sent[sent.size() - 2].isKeys && sent[sent.size() - 2].modifiers == 0 &&
               sent[sent.size() - 2].keys.empty() && !sent.back().isKeys && sent.back().buttons == 0 &&
               sent.back().dx == 0 && sent.back().dy == 0;
    }
};

constexpr std::uint32_t mainDisplay = 1;
constexpr std::uint32_t standIn = 7;

// The main display at the origin and a phone's stand-in display to its right,
// both 1920 x 1080; the phone is 1080 x 2400.
class SeamlessCaptureTest : public ::testing::Test {
protected:
    SeamlessCaptureTest()
    {
        layout.displays[mainDisplay] = {0, 0, 1920, 1080};
        layout.displays[standIn] = {1920, 0, 1920, 1080};
        capture.onExit = [this] { ++exits; };
        capture.onCursorEdgeChanged = [this](std::optional<std::uint32_t> display, std::optional<QString> edge) {
            edgeReports.emplace_back(display, edge);
        };
    }

    bool motion(double dx, double dy, TapPoint position)
    {
        return capture.handle({.dx = dx, .dy = dy, .position = position});
    }
    // A move with the desktop cursor kept in the middle of the stand-in display.
    bool move(double dx, double dy) { return motion(dx, dy, {2880, 540}); }
    bool key(unsigned code, bool down)
    {
        return capture.handle({.type = down ? EventType::keyDown : EventType::keyUp, .position = {}, .keyCode = code});
    }
    bool button(InputTap::Button which, bool down)
    {
        return capture.handle(
            {.type = down ? EventType::buttonDown : EventType::buttonUp, .position = {}, .button = which});
    }
    bool scroll(double wheel, double pan)
    {
        return capture.handle({.type = EventType::wheel, .position = {}, .wheel = wheel, .pan = pan});
    }

    // Registers the phone and crosses the main display's right side.
    void enter(double pointerSpeed = 1.0)
    {
        ASSERT_TRUE(capture.addDevice(standIn, sink, {1080, 2400}, pointerSpeed));
        ASSERT_TRUE(motion(0, 0, {1920, 540}));
        ASSERT_EQ(capture.activeDisplayID(), standIn);
    }

    // Moves off the entry edge, then pushes left until control returns (at
    // most `limit` events); answers how many pushes it took.
    int pushLeftUntilExit(int limit = 100)
    {
        for (int count = 1; count <= limit; ++count) {
            move(-100, 0);
            if (!capture.activeDisplayID())
                return count;
        }
        return -1;
    }

    FakeLayout layout;
    DisplayGeometryCache geometry{layout};
    FakeTap tap;
    RecordingSink sink;
    SeamlessCapture capture{{tap, geometry, nullptr}};
    int exits = 0;
    std::vector<std::pair<std::optional<std::uint32_t>, std::optional<QString>>> edgeReports;
};

// Entering.

TEST_F(SeamlessCaptureTest, CrossingIntoTheStandInDisplayCapturesThePhone)
{
    ASSERT_TRUE(capture.addDevice(standIn, sink, {1080, 2400}));
    EXPECT_FALSE(motion(5, 0, {1000, 540})); // on the desktop: passes
    EXPECT_TRUE(motion(0, 0, {1920, 540}));
    EXPECT_EQ(capture.activeDisplayID(), standIn);
    EXPECT_EQ(capture.entryEdge(), Edge::left);
    EXPECT_TRUE(capture.armedAtEntryEdge());
    EXPECT_EQ(capture.phoneCursor(), (TapPoint{0, 540 * 2400.0 / 1080}));
    EXPECT_TRUE(tap.grabbed);
    EXPECT_TRUE(tap.cursorHidden);
    EXPECT_EQ(tap.standIns, (std::vector<DisplayRect>{{1920, 0, 1920, 1080}}));
}

TEST_F(SeamlessCaptureTest, AStandInUnderAnotherWindowOrAHeldGrabIsNotEntered)
{
    SeamlessCapture covered{{tap, geometry, [](TapPoint) { return true; }}};
    ASSERT_TRUE(covered.addDevice(standIn, sink, {1080, 2400}));
    EXPECT_FALSE(covered.handle({.position = {1920, 540}}));
    EXPECT_FALSE(covered.activeDisplayID());

    tap.canGrab = false;
    ASSERT_TRUE(capture.addDevice(standIn, sink, {1080, 2400}));
    EXPECT_FALSE(motion(0, 0, {1920, 540}));
    EXPECT_FALSE(capture.activeDisplayID());
    EXPECT_FALSE(tap.cursorHidden);
    // Once the other grab has gone, the next push enters.
    tap.canGrab = true;
    EXPECT_TRUE(motion(0, 0, {1920, 540}));
    EXPECT_EQ(capture.activeDisplayID(), standIn);

    // Without a session the tap can watch, no phone is registered at all.
    tap.canStart = false;
    EXPECT_FALSE(SeamlessCapture({tap, geometry, nullptr}).addDevice(standIn, sink, {1080, 2400}));
}

TEST_F(SeamlessCaptureTest, AStandInBelowIsEnteredThroughItsTop)
{
    layout.displays[standIn] = {0, 1080, 1920, 1080};
    ASSERT_TRUE(capture.addDevice(standIn, sink, {1080, 2400}));
    ASSERT_TRUE(motion(0, 10, {960, 1080}));
    EXPECT_EQ(capture.entryEdge(), Edge::top);
}

// Moving.

TEST_F(SeamlessCaptureTest, SubPixelMovementIsCarriedUntilItMakesAPhonePixel)
{
    enter();
    sink.sent.clear();
    // 1 desktop pixel is 0.5625 phone pixels across.
    move(1, 0);
    EXPECT_TRUE(sink.sent.empty());
    move(1, 0);
    ASSERT_EQ(sink.sent.size(), 1u);
    EXPECT_EQ(sink.sent[0].dx, 1);
    move(1, 0);
    move(1, 0);
    std::int64_t total = 0;
    for (const Sent &sent : sink.sent)
        total += sent.dx;
    EXPECT_EQ(total, 2); // 4 x 0.5625 = 2.25
}

TEST_F(SeamlessCaptureTest, ThePointerSpeedScalesPhoneMovementAndAFaultySpeedCountsAsOne)
{
    struct Case {
        double speed;
        std::int64_t expectedDx;
    };
    // 100 desktop pixels are 56.25 phone pixels at speed 1.
    for (const Case &c : {Case{2.0, 112}, Case{0.5, 28}, Case{1.0, 56}, Case{0.0, 56}, Case{-3.0, 56},
                          Case{std::numeric_limits<double>::quiet_NaN(), 56}}) {
        enter(c.speed);
        sink.sent.clear();
        move(100, 0);
        ASSERT_EQ(sink.sent.size(), 1u) << c.speed;
        EXPECT_EQ(sink.sent[0].dx, c.expectedDx) << c.speed;
        capture.removeDevice(standIn);
    }
}

TEST_F(SeamlessCaptureTest, HighResolutionWheelStepsAddUpInsteadOfVanishing)
{
    enter();
    sink.sent.clear();
    EXPECT_TRUE(scroll(0.5, 0));
    EXPECT_TRUE(sink.sent.empty());
    scroll(0.5, -0.25);
    scroll(0, -0.75);
    ASSERT_EQ(sink.sent.size(), 2u);
    EXPECT_EQ(sink.sent[0].wheel, 1);
    EXPECT_EQ(sink.sent[1].pan, -1);
    EXPECT_TRUE(scroll(0, 0)); // swallowed, sends nothing
    EXPECT_EQ(sink.sent.size(), 2u);
}

TEST_F(SeamlessCaptureTest, AWarpEchoIsIgnored)
{
    enter();
    tap.cursor = {1930, 540};
    motion(10, 0, {1930, 540}); // near the side: recentred to the middle
    ASSERT_EQ(tap.warps.back(), (TapPoint{2880, 540}));
    const TapPoint before = capture.phoneCursor();
    motion(945, 0, {2880, 540}); // the echo of the 950-point warp
    EXPECT_EQ(capture.phoneCursor(), before);
}

TEST_F(SeamlessCaptureTest, TouchingAPhoneEdgeIsReportedAndLeavingClearsIt)
{
    using Report = std::pair<std::optional<std::uint32_t>, std::optional<QString>>;
    enter();
    edgeReports.clear();
    move(100, 0);   // off the left edge it entered on
    move(0, -1000); // up against the top
    move(10, 0);    // along it: no news
    move(0, 100);
    key(KEY_LEFTCTRL, true);
    key(KEY_ESC, true); // off every edge: nothing to clear
    EXPECT_EQ(edgeReports, (std::vector<Report>{
                               {standIn, std::nullopt}, {standIn, QStringLiteral("top")}, {standIn, std::nullopt}}));

    enter();
    move(0, -1000);
    edgeReports.clear();
    key(KEY_LEFTCTRL, true);
    key(KEY_ESC, true);
    EXPECT_EQ(edgeReports, (std::vector<Report>{{std::nullopt, std::nullopt}}));
}

// Pushing back out.

TEST_F(SeamlessCaptureTest, A240PixelPushAgainstTheEntryEdgeReturnsToTheDesktopOnceAwayFromIt)
{
    enter();
    // Still at the edge it came in by: pushing back does not leave.
    for (int count = 0; count < 10; ++count)
        move(-100, 0);
    EXPECT_EQ(capture.activeDisplayID(), standIn);

    move(20, 0); // away from the edge: armed no more
    EXPECT_FALSE(capture.armedAtEntryEdge());
    for (int count = 0; count < 4; ++count)
        move(-100, 0); // 224 of push
    move(0, 50);       // along the edge: the push starts again
    move(-100, 0);
    move(-100, 0);
    EXPECT_EQ(capture.activeDisplayID(), standIn);
    move(0, 50);
    // 56 phone pixels per push, each counting from the edge.
    EXPECT_EQ(pushLeftUntilExit(), 5);
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(tap.grabbed);
    EXPECT_FALSE(tap.cursorHidden);
    EXPECT_EQ(tap.warps.back().x, 1920 - 12);
}

TEST_F(SeamlessCaptureTest, AStandInWithoutNeighboursLeavesThroughTheSideItWasEnteredBy)
{
    layout.displays[standIn] = {5000, 0, 1920, 1080};
    ASSERT_TRUE(capture.addDevice(standIn, sink, {1080, 2400}));
    ASSERT_TRUE(motion(0, 0, {5000 + 1910, 540}));
    EXPECT_EQ(capture.entryEdge(), Edge::right);
    motion(-100, 0, {5960, 540});
    EXPECT_FALSE(capture.armedAtEntryEdge());
    for (int count = 0; count < 10 && capture.activeDisplayID(); ++count)
        motion(100, 0, {5960, 540});
    EXPECT_FALSE(capture.activeDisplayID());
    EXPECT_EQ(tap.warps.back().x, 5000 + 1920 + 12);
}

// Keys.

TEST_F(SeamlessCaptureTest, KeysAreSentAsSnapshotsOfAtMostSix)
{
    enter();
    const unsigned letters[] = {KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J};
    for (unsigned letter : letters)
        EXPECT_TRUE(key(letter, true));
    EXPECT_EQ(sink.lastKeys()->keys, (std::vector<std::uint8_t>{0x16, 0x07, 0x09, 0x0A, 0x0B, 0x0D}));
    key(KEY_RIGHTALT, true);
    EXPECT_EQ(sink.lastKeys()->modifiers, 0x40);
    key(KEY_S, false);
    EXPECT_EQ(sink.lastKeys()->keys, (std::vector<std::uint8_t>{0x07, 0x09, 0x0A, 0x0B, 0x0D}));
    const std::size_t count = sink.sent.size();
    EXPECT_TRUE(key(KEY_F13, true)); // no usage: swallowed, nothing sent
    EXPECT_EQ(sink.sent.size(), count);
}

// Every way back lets go of everything held on the phone.

TEST_F(SeamlessCaptureTest, EveryExitReleasesHeldKeysAndButtons)
{
    const std::vector<std::pair<const char *, std::function<void()>>> exits = {
        {"edge push", [this] { pushLeftUntilExit(); }},
        {"device removed", [this] { capture.removeDevice(standIn); }},
        {"Control+Escape",
         [this] {
             key(KEY_RIGHTCTRL, true);
             key(KEY_ESC, true);
         }},
        {"grab lost",
         [this] {
             tap.grabbed = false;
             EXPECT_FALSE(capture.handle({.type = EventType::grabLost, .position = {}}));
         }},
    };
    for (const auto &[name, leave] : exits) {
        enter();
        move(20, 0);
        key(KEY_LEFTSHIFT, true);
        key(KEY_A, true);
        button(InputTap::Button::left, true);
        sink.sent.clear();
        leave();
        EXPECT_FALSE(capture.activeDisplayID()) << name;
        EXPECT_TRUE(sink.endsWithRelease()) << name;
        EXPECT_TRUE(capture.heldKeys().empty()) << name;
        EXPECT_TRUE(capture.buttons().isEmpty()) << name;
        EXPECT_FALSE(tap.grabbed) << name;
        EXPECT_FALSE(tap.cursorHidden) << name;
        // Nothing held survives into the next capture.
        enter();
        key(KEY_B, true);
        EXPECT_EQ(sink.lastKeys()->modifiers, 0x00) << name;
        key(KEY_B, false);
        capture.removeDevice(standIn);
        sink.sent.clear();
    }
    EXPECT_FALSE(tap.started);
}

TEST_F(SeamlessCaptureTest, ButtonsFollowTheirPresses)
{
    enter();
    button(InputTap::Button::left, true);
    button(InputTap::Button::middle, true);
    EXPECT_EQ(sink.sent.back().buttons, Buttons::left | Buttons::middle);
    button(InputTap::Button::left, false);
    button(InputTap::Button::other, true);
    EXPECT_EQ(sink.sent.back().buttons, Buttons::middle);
}

} // namespace
