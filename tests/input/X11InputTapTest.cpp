#include "platform/x11/X11InputTap.h"

#include "support/EventLoop.h"
#include "support/XorgServer.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <linux/input-event-codes.h>

#include <chrono>
#include <cstdlib>
#include <vector>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

using Event = InputTap::Event;
using EventType = InputTap::EventType;

// X key code of the "a" key in the server's default map.
constexpr std::uint8_t keyA = KEY_A + 8;

// Another client of the same server: it moves the pointer and types as a
// device would (XTest), and grabs as a menu or a screen locker would.
class OtherClient {
public:
    explicit OtherClient(const char *displayName) : connection_(xcb_connect(displayName, nullptr))
    {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    }
    ~OtherClient() { xcb_disconnect(connection_); }

    void warp(int x, int y)
    {
        xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0, std::int16_t(x), std::int16_t(y));
        sync();
    }
    // Relative motion, which meets pointer barriers as a mouse does.
    void move(int dx, int dy)
    {
        xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 1, XCB_CURRENT_TIME, XCB_NONE, std::int16_t(dx),
                            std::int16_t(dy), 0);
        sync();
    }
    // Absolute motion, as tablets and virtual machines move the pointer.
    void moveTo(int x, int y)
    {
        xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, std::int16_t(x),
                            std::int16_t(y), 0);
        sync();
    }
    void fake(std::uint8_t type, std::uint8_t detail)
    {
        xcb_test_fake_input(connection_, type, detail, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        sync();
    }
    std::optional<TapPoint> pointer()
    {
        xcb_query_pointer_reply_t *reply =
            xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
        if (reply == nullptr)
            return std::nullopt;
        const TapPoint point{double(reply->root_x), double(reply->root_y)};
        std::free(reply);
        return point;
    }
    std::uint8_t grabPointer()
    {
        xcb_grab_pointer_reply_t *reply =
            xcb_grab_pointer_reply(connection_,
                                   xcb_grab_pointer(connection_, 0, root_, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                                    XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                                   nullptr);
        const std::uint8_t status = reply != nullptr ? reply->status : 0xFF;
        std::free(reply);
        return status;
    }
    std::uint8_t grabKeyboard()
    {
        xcb_grab_keyboard_reply_t *reply = xcb_grab_keyboard_reply(
            connection_,
            xcb_grab_keyboard(connection_, 0, root_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
            nullptr);
        const std::uint8_t status = reply != nullptr ? reply->status : 0xFF;
        std::free(reply);
        return status;
    }
    void ungrab()
    {
        xcb_ungrab_pointer(connection_, XCB_CURRENT_TIME);
        xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
        sync();
    }
    void unmap(xcb_window_t window)
    {
        xcb_unmap_window(connection_, window);
        sync();
    }
    void sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

private:
    xcb_connection_t *connection_;
    xcb_window_t root_ = XCB_NONE;
};

// The main display (1920 x 1080 at the origin) and, by default, a stand-in
// monitor to its right, which the pointer cannot enter by itself.
class X11InputTapTest : public XorgSuite {
protected:
    void SetUp() override
    {
        ensureApplication();
        if (!server_->isRunning())
            GTEST_SKIP() << server_->problem().toStdString();
        other_ = std::make_unique<OtherClient>(server_->displayName());
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

    std::unique_ptr<OtherClient> other_;
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
