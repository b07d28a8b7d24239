#include "appwindows/WindowListCache.h"

#include "input/InputFakes.h"
#include "support/ManualClock.h"

#include <gtest/gtest.h>

using namespace lumarient;
using namespace std::chrono_literals;

namespace {

WindowInfo window(std::uint32_t id, std::int32_t pid, DisplayRect bounds = {0, 0, 100, 100})
{
    return {id, pid, QStringLiteral("window %1").arg(id), bounds};
}

class WindowListCacheTest : public ::testing::Test {
protected:
    test::FakeWindowList windows;
    test::ManualClock clock;
    WindowListCache cache{windows, clock};
};

TEST_F(WindowListCacheTest, AsksAtMostOnceATenthOfASecond)
{
    windows.windows = QList<WindowInfo>{window(1, 10)};
    EXPECT_EQ(cache.snapshot().size(), 1);
    EXPECT_EQ(windows.queries, 1);

    windows.windows = QList<WindowInfo>{window(1, 10), window(2, 20)};
    clock.advance(50ms);
    EXPECT_EQ(cache.snapshot().size(), 1);
    clock.advance(50ms); // exactly 0.1 s after the refresh
    EXPECT_EQ(cache.snapshot().size(), 1);
    EXPECT_EQ(windows.queries, 1);

    clock.advance(1ns);
    EXPECT_EQ(cache.snapshot().size(), 2);
    EXPECT_EQ(windows.queries, 2);
}

TEST_F(WindowListCacheTest, AFailedListKeepsThePreviousOne)
{
    windows.windows = QList<WindowInfo>{window(1, 10), window(2, 20)};
    const QList<WindowInfo> first = cache.snapshot();
    windows.windows.reset();
    clock.advance(200ms);
    EXPECT_EQ(cache.snapshot(), first);
    EXPECT_EQ(windows.queries, 2);
    // The failed attempt counts as a refresh: no second try at once.
    clock.advance(50ms);
    cache.snapshot();
    EXPECT_EQ(windows.queries, 2);
}

TEST_F(WindowListCacheTest, KeepsOrderAndLeavesOutWindowsWithoutProcessOrSize)
{
    windows.windows = QList<WindowInfo>{window(3, 30), window(4, 0), window(5, 50, {10, 10, 0, 40}), window(6, 60)};
    const QList<WindowInfo> listed = cache.snapshot();
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(listed[0].id, 3u);
    EXPECT_EQ(listed[1].id, 6u);
}

} // namespace
