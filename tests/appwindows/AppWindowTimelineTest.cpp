#include "AppWindowHarness.h"

#include "appwindows/WindowListCache.h"
#include "input/InputFakes.h"
#include "platform/x11/X11WindowList.h"
#include "support/OpenboxSession.h"
#include "support/XorgServer.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

// Moves a managed window as its own client would ask the window manager to.
void moveWindow(const char *displayName, std::uint32_t window, int x, int y)
{
    xcb_connection_t *c = xcb_connect(displayName, nullptr);
    const std::uint32_t position[] = {std::uint32_t(x), std::uint32_t(y)};
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, position);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
}

// One app's way from the phone to the desktop and back, on Xorg with the dummy
// driver and openbox, with the phone simulator's window watcher reporting the
// drag and its scrcpy showing real windows.
class AppWindowTimelineTest : public XorgSuite {
protected:
    void SetUp() override
    {
        if (!server_->isRunning())
            GTEST_SKIP() << server_->problem().toStdString();
        openbox_ = std::make_unique<OpenboxSession>(server_->displayName());
        if (!openbox_->start())
            GTEST_SKIP() << openbox_->problem().toStdString();
        // The simulator's scrcpy opens its window where this process's children look.
        qputenv("DISPLAY", server_->displayName());
        // scrcpy keeps its window hidden until the first frame.
        h_.sim_.update([](phonesim::SimState &state) { state.scrcpy.windowAfterMs = 300; });
        windows_ = std::make_unique<x11::X11WindowList>(server_->displayName());
        cache_ = std::make_unique<WindowListCache>(*windows_, SteadyClock::instance());
        // The phone's stand-in display lies right of the main display.
        layout_.displays[mainDisplay] = {0, 0, 1920, 1080};
        layout_.displays[standIn] = {1920, 0, 1080, 1920};
    }
    void TearDown() override
    {
        h_.manager.reset();
        cache_.reset();
        windows_.reset();
        openbox_.reset();
        qunsetenv("DISPLAY");
    }

    AppWindowManager &make()
    {
        return h_.make(windows_.get(), ThreadSleeper::instance(),
                       std::make_unique<WindowDragWatcher>(*cache_, layout_, [] { return std::optional(standIn); }));
    }

    static constexpr std::uint32_t mainDisplay = 1;
    static constexpr std::uint32_t standIn = 2;
    AppWindowHarness h_;
    std::unique_ptr<OpenboxSession> openbox_;
    std::unique_ptr<x11::X11WindowList> windows_;
    std::unique_ptr<WindowListCache> cache_;
    FakeLayout layout_;
};

TEST_F(AppWindowTimelineTest, ADraggedAppOpensRaisedOnTheDesktopAndADropSendsItBack)
{
    AppWindowManager &manager = make();
    std::optional<std::uint32_t> raised;
    QObject::connect(&manager, &AppWindowManager::windowRaised, [&](int, std::uint32_t window) { raised = window; });

    // Keyboard and mouse sharing has started watching the phone's windows.
    manager.enableDrag(AppWindowHarness::serial);
    ASSERT_TRUE(spinUntil([&] { return manager.isDragEnabled(); }, 10s))
        << manager.lastError().value_or(QString()).toStdString();
    // The user pushes the notes window against the phone's left edge.
    h_.sim_.printFromWatcher("drag 42 com.example.notes left 100 200 800 1200 port\n");
    ASSERT_TRUE(spinUntil([&] { return raised.has_value(); }, 10s));
    ASSERT_EQ(h_.sim_.scrcpyRuns().size(), 1);
    EXPECT_TRUE(h_.sim_.scrcpyRuns().front().contains(QStringLiteral("--new-display=800x1200/160")));
    const AppWindow window = *h_.window(AppWindowHarness::notesTask);

    // The window is scrcpy's own, titled after the app, and in front.
    const QList<WindowInfo> shown = windows_->onScreenWindows().value_or(QList<WindowInfo>{});
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.front().id, *raised);
    EXPECT_EQ(shown.front().pid, window.pid);
    EXPECT_EQ(shown.front().name, QStringLiteral("Notes"));
    EXPECT_TRUE(spinUntil([&] { return windows_->activeWindow() == raised; }, 5s));

    // Dropped on the phone's stand-in display, right of the main one: the drop
    // watcher notices by itself, the window goes and the app returns.
    moveWindow(server_->displayName(), *raised, 1920 + 100, 50);
    ASSERT_TRUE(spinUntil([&] { return manager.windows().isEmpty(); }, 10s));
    ASSERT_TRUE(spinUntil([&] { return h_.scrcpy.runningCount() == 0; }, 10s));
    ASSERT_TRUE(spinUntil([&] { return h_.task(AppWindowHarness::notesTask).displayId == 0; }, 10s));
    EXPECT_TRUE(spinUntil(
        [&] {
            const auto now = windows_->onScreenWindows();
            return now &&
                   std::none_of(now->begin(), now->end(), [&](const WindowInfo &info) { return info.id == *raised; });
        },
        5s));
}

} // namespace
