#include "appwindows/WindowDragWatcher.h"

#include "appwindows/WindowListCache.h"
#include "input/InputFakes.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const DisplayRect mainDisplay{0, 0, 1920, 1080};
const DisplayRect phoneBeside{1920, 0, 1000, 1000};
const DisplayRect phoneBelow{0, 1080, 1920, 1080};
// As far across as down from the main display's centre.
const DisplayRect phoneDiagonal{1080, 1080, 1920, 1080};

TEST(WindowDropTest, AWindowCountsAsDroppedFromHalfOnThePhoneAlongTheAxis)
{
    const struct {
        const char *name;
        DisplayRect frame;
        DisplayRect phone;
        bool dropped;
    } cases[] = {
        {"exactly half beside", {1720, 100, 400, 300}, phoneBeside, true},
        {"one point less than half", {1719, 100, 400, 300}, phoneBeside, false},
        {"odd width, just over half", {1720, 100, 401, 300}, phoneBeside, true},
        {"odd width, just under half", {1719, 100, 401, 300}, phoneBeside, false},
        {"wholly on the phone", {2000, 100, 400, 300}, phoneBeside, true},
        {"touching the edge only", {1520, 100, 400, 300}, phoneBeside, false},
        {"on the main display", {100, 100, 400, 300}, phoneBeside, false},
        {"beside but above the phone", {1900, -600, 400, 300}, phoneBeside, false},
        {"too narrow", {2000, 100, 199, 300}, phoneBeside, false},
        {"too low", {2000, 100, 300, 199}, phoneBeside, false},
        {"smallest counted", {2000, 100, 200, 200}, phoneBeside, true},
        {"exactly half below", {100, 880, 300, 400}, phoneBelow, true},
        {"a little below the edge", {100, 700, 400, 400}, phoneBelow, false},
        {"diagonal phone goes across: half across", {880, 1100, 400, 400}, phoneDiagonal, true},
        {"diagonal phone goes across: wholly down, little across", {800, 1500, 400, 400}, phoneDiagonal, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WindowDragWatcher::isDropped(c.frame, c.phone, mainDisplay), c.dropped);
    }
}

class WindowDragWatcherTest : public ::testing::Test {
protected:
    WindowDragWatcherTest() { layout_.displays = {{1, mainDisplay}, {7, phoneBeside}}; }

    void place(std::int32_t pid, const QString &title, DisplayRect bounds)
    {
        windows_.windows->append(WindowInfo{std::uint32_t(windows_.windows->size() + 1), pid, title, bounds});
        // The cache asks the window list again once its tenth of a second has passed.
        clock_.advance(1s);
    }

    WindowDragWatcher::DropHandler recordDrops()
    {
        return [this](std::int32_t pid) { drops_.push_back(pid); };
    }

    FakeWindowList windows_;
    FakeLayout layout_;
    ManualClock clock_;
    WindowListCache cache_{windows_, clock_};
    std::optional<std::uint32_t> standIn_ = 7;
    WindowDragWatcher watcher_{cache_, layout_, [this] { return standIn_; }};
    std::vector<std::int32_t> drops_;
};

TEST_F(WindowDragWatcherTest, ADroppedWindowIsReportedOnceByItsProcess)
{
    const QString title = QStringLiteral("Notes");
    watcher_.watch(10, title);
    watcher_.watch(11, title);
    place(10, title, {100, 100, 400, 300});
    place(11, title, {2000, 100, 400, 300});
    watcher_.start(recordDrops());
    int secondHandlerCalls = 0;
    watcher_.start([&](std::int32_t) { ++secondHandlerCalls; });

    ASSERT_TRUE(spinUntil([&] { return !drops_.empty(); }));
    spinFor(400ms);
    EXPECT_EQ(drops_, std::vector<std::int32_t>{11});
    EXPECT_EQ(secondHandlerCalls, 0);
    EXPECT_EQ(watcher_.watched().count(10), 1);
    EXPECT_EQ(watcher_.watched().count(11), 0);
}

TEST_F(WindowDragWatcherTest, NothingIsDroppedWithoutAStandInDisplay)
{
    standIn_.reset();
    watcher_.watch(10, QStringLiteral("Notes"));
    place(10, QStringLiteral("Notes"), {2000, 100, 400, 300});
    watcher_.start(recordDrops());
    spinFor(500ms);
    EXPECT_TRUE(drops_.empty());

    // Its display gone from the layout is no stand-in either.
    standIn_ = 9;
    spinFor(400ms);
    EXPECT_TRUE(drops_.empty());

    standIn_ = 7;
    EXPECT_TRUE(spinUntil([&] { return drops_ == std::vector<std::int32_t>{10}; }));
}

TEST_F(WindowDragWatcherTest, StopForgetsEveryWindowAndTheHandler)
{
    watcher_.watch(10, QStringLiteral("Notes"));
    watcher_.start(recordDrops());
    EXPECT_TRUE(watcher_.isRunning());
    watcher_.stop();
    EXPECT_FALSE(watcher_.isRunning());
    EXPECT_TRUE(watcher_.watched().empty());

    // A fresh start takes the new handler.
    watcher_.watch(12, QStringLiteral("Mail"));
    place(12, QStringLiteral("Mail"), {2000, 100, 400, 300});
    int calls = 0;
    watcher_.start([&](std::int32_t) { ++calls; });
    EXPECT_TRUE(spinUntil([&] { return calls == 1; }));
    EXPECT_TRUE(drops_.empty());
}

} // namespace
