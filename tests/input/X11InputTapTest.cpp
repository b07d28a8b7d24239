#include "platform/x11/X11InputTap.h"

#include "support/EventLoop.h"
#include "support/XTestClient.h"
#include "support/XorgServer.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <linux/input-event-codes.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <vector>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

using Event = InputTap::Event;
using EventType = InputTap::EventType;

// X key code of the "a" key in the server's default map.
constexpr std::uint8_t keyA = KEY_A + 8;

// The main display (1920 x 1080 at the origin) and, by default, a stand-in
// monitor to its right, which the pointer cannot enter by itself.
class X11InputTapTest : public XorgSuite {
protected:
    void SetUp() override
    {
        if (!server_->isRunning())
            GTEST_SKIP() << server_->problem().toStdString();
        other_ = std::make_unique<XTestClient>(server_->displayName());
    }
    void TearDown() override
    {
        tap_.reset();
        if (other_) {
            other_->ungrab();
            other_.reset();
        }
        removeStandIn();
    }

    void removeStandIn()
    {
        if (!placed_)
            return;
        placed_ = false;
        server_->xrandr({QStringLiteral("--delmonitor"), QStringLiteral("standin")});
        server_->xrandr({QStringLiteral("--fb"), QStringLiteral("1920x1080")});
    }

    void placeStandIn(const DisplayRect &rect)
    {
        placed_ = true;
        const QString size =
            QStringLiteral("%1x%2").arg(std::max(1920, rect.right())).arg(std::max(1080, rect.bottom()));
        server_->xrandr({QStringLiteral("--fb"), size});
        const QString geometry =
            QStringLiteral("%1/300x%2/200+%3+%4").arg(rect.width).arg(rect.height).arg(rect.x).arg(rect.y);
        server_->xrandr({QStringLiteral("--setmonitor"), QStringLiteral("standin"), geometry, QStringLiteral("none")});
        ASSERT_TRUE(server_->monitorNames().contains(QStringLiteral("standin")));
    }

    // Starts a tap that records everything and consumes nothing.
    void startTap(const DisplayRect &standIn)
    {
        tap_ = std::make_unique<x11::X11InputTap>(server_->displayName());
        ASSERT_TRUE(tap_->start([this](const Event &event) {
            events_.push_back(event);
            return false;
        }));
        tap_->setStandIns({standIn});
    }

    std::vector<Event> eventsOf(EventType type) const
    {
        std::vector<Event> found;
        for (const Event &event : events_)
            if (event.type == type)
                found.push_back(event);
        return found;
    }

    std::unique_ptr<XTestClient> other_;
    std::unique_ptr<x11::X11InputTap> tap_;
    std::vector<Event> events_;
    bool placed_ = false;
};

const DisplayRect rightOfMain{1920, 0, 1920, 1080};

TEST_F(X11InputTapTest, APushAgainstASideNextToAStandInIsReportedAsMotionOntoIt)
{
    struct Case {
        const char *name;
        DisplayRect standIn;
        TapPoint start;
        int dx, dy;
    };
    const Case cases[] = {
        {"right of the display", rightOfMain, {1900, 500}, 10, 0},
        {"below the display", {0, 1080, 1920, 1080}, {700, 1070}, 0, 10},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        placeStandIn(c.standIn);
        startTap(c.standIn);
        ASSERT_TRUE(tap_->hasBarriers());
        EXPECT_EQ(tap_->barrierCount(), 1u);

        // Moving about away from the edge costs the tap nothing: no events.
        other_->warp(900, 500);
        other_->move(-30, 20);
        spinFor(100ms);
        EXPECT_TRUE(events_.empty());

        other_->warp(int(c.start.x), int(c.start.y));
        for (int i = 0; i < 5; ++i)
            other_->move(c.dx, c.dy);
        ASSERT_TRUE(spinUntil([&] { return !events_.empty(); }, 5s));
        const Event &push = events_.front();
        EXPECT_EQ(push.type, EventType::motion);
        EXPECT_GE(push.position.x, c.standIn.x);
        EXPECT_LT(push.position.x, c.standIn.right());
        EXPECT_GE(push.position.y, c.standIn.y);
        EXPECT_LT(push.position.y, c.standIn.bottom());
        // The real pointer stays on the real display.
        const std::optional<TapPoint> pointer = other_->pointer();
        ASSERT_TRUE(pointer);
        EXPECT_LT(pointer->x, 1920);
        EXPECT_LT(pointer->y, 1080);

        tap_.reset();
        events_.clear();
        removeStandIn();
    }
}

TEST_F(X11InputTapTest, APointerPlacedPastABarrierEntersWhenItRestsWithinAPixelOfTheSide)
{
    struct Case {
        const char *name;
        DisplayRect standIn;
        TapPoint start;
        TapPoint placed;
        std::optional<TapPoint> entry;
    };
    const Case cases[] = {
        {"onto the side", rightOfMain, {900, 500}, {1919, 500}, TapPoint{1920, 500}},
        {"across the side", rightOfMain, {900, 500}, {2500, 300}, TapPoint{1920, 300}},
        {"short of the side", rightOfMain, {900, 500}, {1917, 500}, std::nullopt},
        {"onto the bottom", {0, 1080, 1920, 1080}, {700, 500}, {700, 1079}, TapPoint{700, 1080}},
        {"along a side with no stand-in", {0, 1080, 1920, 1080}, {1900, 500}, {1919, 600}, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        placeStandIn(c.standIn);
        startTap(c.standIn);
        other_->moveTo(int(c.start.x), int(c.start.y));
        spinFor(50ms);
        events_.clear();
        // Absolute XTest motion passes pointer barriers without a word, as
        // tablets and remote-control pointers do.
        other_->moveTo(int(c.placed.x), int(c.placed.y));
        if (c.entry) {
            ASSERT_TRUE(spinUntil([&] { return !events_.empty(); }, 5s));
            EXPECT_EQ(events_.front().type, EventType::motion);
            EXPECT_EQ(events_.front().position, *c.entry);
        } else {
            spinFor(150ms);
            EXPECT_TRUE(events_.empty());
        }
        tap_.reset();
        events_.clear();
        removeStandIn();
    }
}

TEST_F(X11InputTapTest, WhileGrabbedMotionComesAsRawDeltasAndKeysAsEvdevCodes)
{
    placeStandIn(rightOfMain);
    startTap(rightOfMain);
    other_->warp(960, 540);
    ASSERT_TRUE(tap_->grab());
    tap_->warp({2880, 540});
    EXPECT_EQ(tap_->cursorPosition(), (TapPoint{2880, 540}));

    other_->move(7, -3);
    other_->move(2, 0);
    ASSERT_TRUE(spinUntil([&] { return eventsOf(EventType::motion).size() >= 2; }, 5s));
    double dx = 0, dy = 0;
    for (const Event &event : eventsOf(EventType::motion)) {
        dx += event.dx;
        dy += event.dy;
    }
    EXPECT_EQ(dx, 9);
    EXPECT_EQ(dy, -3);
    // Where the pointer would be on the stand-in, though the real one cannot go there.
    EXPECT_EQ(eventsOf(EventType::motion).back().position, (TapPoint{2889, 537}));

    events_.clear();
    other_->fake(XCB_KEY_PRESS, keyA);
    other_->fake(XCB_KEY_RELEASE, keyA);
    other_->fake(XCB_BUTTON_PRESS, 1);
    other_->fake(XCB_BUTTON_RELEASE, 1);
    other_->fake(XCB_BUTTON_PRESS, 5);
    other_->fake(XCB_BUTTON_RELEASE, 5);
    ASSERT_TRUE(spinUntil([&] { return eventsOf(EventType::wheel).size() == 1; }, 5s));
    const auto ofKind = [](const Event &event) { return event.type != EventType::motion; };
    std::vector<Event> kinds;
    std::copy_if(events_.begin(), events_.end(), std::back_inserter(kinds), ofKind);
    ASSERT_EQ(kinds.size(), 5u);
    EXPECT_EQ(kinds[0].type, EventType::keyDown);
    EXPECT_EQ(kinds[0].keyCode, unsigned(KEY_A));
    EXPECT_EQ(kinds[1].type, EventType::keyUp);
    EXPECT_EQ(kinds[1].keyCode, unsigned(KEY_A));
    EXPECT_EQ(kinds[2].type, EventType::buttonDown);
    EXPECT_EQ(kinds[2].button, InputTap::Button::left);
    EXPECT_EQ(kinds[3].type, EventType::buttonUp);
    EXPECT_EQ(kinds[4].wheel, -1);

    // A held key repeats as presses, and is let go of once.
    events_.clear();
    other_->fake(XCB_KEY_PRESS, keyA);
    spinFor(900ms);
    other_->fake(XCB_KEY_RELEASE, keyA);
    ASSERT_TRUE(spinUntil([&] { return !eventsOf(EventType::keyUp).empty(); }, 5s));
    spinFor(100ms);
    EXPECT_GE(eventsOf(EventType::keyDown).size(), 1u);
    EXPECT_EQ(eventsOf(EventType::keyUp).size(), 1u);
    RecordProperty("repeats", int(eventsOf(EventType::keyDown).size()) - 1);

    tap_->release();
    // Once released, warps move the real pointer again.
    tap_->warp({100, 200});
    EXPECT_EQ(other_->pointer(), (TapPoint{100, 200}));
}

TEST_F(X11InputTapTest, AGrabHeldElsewhereIsRefusedAtOnceAndReleaseAlwaysLeavesNone)
{
    placeStandIn(rightOfMain);
    startTap(rightOfMain);
    tap_->release(); // nothing held: harmless

    ASSERT_EQ(other_->grabPointer(), XCB_GRAB_STATUS_SUCCESS);
    EXPECT_FALSE(tap_->grab());
    other_->ungrab();
    ASSERT_EQ(other_->grabKeyboard(), XCB_GRAB_STATUS_SUCCESS);
    EXPECT_FALSE(tap_->grab());
    // The refused attempt left the pointer free as well.
    EXPECT_EQ(other_->grabPointer(), XCB_GRAB_STATUS_SUCCESS);
    other_->ungrab();

    ASSERT_TRUE(tap_->grab());
    EXPECT_EQ(other_->grabPointer(), XCB_GRAB_STATUS_ALREADY_GRABBED);
    EXPECT_EQ(other_->grabKeyboard(), XCB_GRAB_STATUS_ALREADY_GRABBED);
    tap_->release();
    tap_->release();
    EXPECT_EQ(other_->grabPointer(), XCB_GRAB_STATUS_SUCCESS);
    EXPECT_EQ(other_->grabKeyboard(), XCB_GRAB_STATUS_SUCCESS);
    other_->ungrab();

    // Stopping and going away let go too.
    ASSERT_TRUE(tap_->grab());
    tap_->hideCursor();
    tap_->stop();
    EXPECT_EQ(other_->grabPointer(), XCB_GRAB_STATUS_SUCCESS);
    other_->ungrab();
    ASSERT_TRUE(tap_->start([](const Event &) { return false; }));
    ASSERT_TRUE(tap_->grab());
    tap_.reset();
    EXPECT_EQ(other_->grabKeyboard(), XCB_GRAB_STATUS_SUCCESS);
}

TEST_F(X11InputTapTest, ABrokenGrabIsReportedAndLetsGoOfEverything)
{
    placeStandIn(rightOfMain);
    startTap(rightOfMain);
    ASSERT_TRUE(tap_->grab());
    other_->unmap(tap_->grabWindow());
    ASSERT_TRUE(spinUntil([&] { return !eventsOf(EventType::grabLost).empty(); }, 5s));
    EXPECT_EQ(eventsOf(EventType::grabLost).size(), 1u);
    EXPECT_EQ(other_->grabPointer(), XCB_GRAB_STATUS_SUCCESS);
    EXPECT_EQ(other_->grabKeyboard(), XCB_GRAB_STATUS_SUCCESS);
    other_->ungrab();
    // The next push may take them again.
    EXPECT_TRUE(tap_->grab());
}

} // namespace
