#include "platform/x11/X11WindowList.h"

#include "support/EventLoop.h"
#include "support/OpenboxSession.h"
#include "support/XorgServer.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

// A client with ordinary, managed top-level windows.
class AppClient {
public:
    explicit AppClient(const char *displayName) : connection_(xcb_connect(displayName, nullptr))
    {
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    }
    ~AppClient() { xcb_disconnect(connection_); }

    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : XCB_NONE;
        std::free(reply);
        return atom;
    }

    // `netName` as _NET_WM_NAME (UTF-8); `plainName` only as WM_NAME.
    xcb_window_t open(std::uint32_t pid, const QString &netName, const QByteArray &plainName, int width, int height)
    {
        const xcb_window_t window = xcb_generate_id(connection_);
        const std::uint32_t background = screen_->white_pixel;
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen_->root, 0, 0, std::uint16_t(width),
                          std::uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                          XCB_CW_BACK_PIXEL, &background);
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1,
                            &pid);
        if (!netName.isEmpty()) {
            const QByteArray utf8 = netName.toUtf8();
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"),
                                8, std::uint32_t(utf8.size()), utf8.constData());
        }
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            std::uint32_t(plainName.size()), plainName.constData());
        xcb_map_window(connection_, window);
        std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        return window;
    }

    void close(xcb_window_t window)
    {
        xcb_destroy_window(connection_, window);
        std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

    bool hasWindowManager()
    {
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, screen_->root, atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1),
            nullptr);
        const bool present = reply != nullptr && xcb_get_property_value_length(reply) == 4;
        std::free(reply);
        return present;
    }

private:
    xcb_connection_t *connection_;
    xcb_screen_t *screen_ = nullptr;
};

// openbox on the suite's server, started and stopped by its process id.
class X11WindowListTest : public XorgSuite {
protected:
    void SetUp() override
    {
        if (!server_->isRunning())
            GTEST_SKIP() << server_->problem().toStdString();
        app_ = std::make_unique<AppClient>(server_->displayName());
        windowManager_ = std::make_unique<OpenboxSession>(server_->displayName());
        if (!windowManager_->start())
            GTEST_SKIP() << windowManager_->problem().toStdString();
        ASSERT_TRUE(app_->hasWindowManager());
    }
    void TearDown() override
    {
        windowManager_.reset();
        app_.reset();
    }

    static std::optional<WindowInfo> find(const QList<WindowInfo> &windows, std::uint32_t id)
    {
        for (const WindowInfo &window : windows)
            if (window.id == id)
                return window;
        return std::nullopt;
    }

    std::unique_ptr<OpenboxSession> windowManager_;
    std::unique_ptr<AppClient> app_;
};

TEST_F(X11WindowListTest, ListsManagedWindowsFrontToBackWithProcessNameAndFrame)
{
    x11::X11WindowList list(server_->displayName());
    int changes = 0;
    list.onChanged([&] { ++changes; });

    const xcb_window_t first = app_->open(4242, QStringLiteral("Erstes Fenster ✓"), "ignored", 300, 200);
    const xcb_window_t second = app_->open(4343, QString(), "plain title", 400, 250);
    ASSERT_TRUE(spinUntil(
        [&] {
            const auto windows = list.onScreenWindows();
            return windows && find(*windows, first) && find(*windows, second);
        },
        10s));
    EXPECT_GT(changes, 0);

    const QList<WindowInfo> windows = *list.onScreenWindows();
    const auto indexOf = [&](std::uint32_t id) {
        for (qsizetype i = 0; i < windows.size(); ++i)
            if (windows[i].id == id)
                return i;
        return qsizetype(-1);
    };
    // The newer window is in front.
    EXPECT_LT(indexOf(second), indexOf(first));

    const WindowInfo one = *find(windows, first);
    EXPECT_EQ(one.pid, 4242);
    EXPECT_EQ(one.name, QStringLiteral("Erstes Fenster ✓"));
    const WindowInfo two = *find(windows, second);
    EXPECT_EQ(two.pid, 4343);
    EXPECT_EQ(two.name, QStringLiteral("plain title"));
    // The frame is counted: the title bar makes it taller than the window.
    EXPECT_GE(two.bounds.width, 400);
    EXPECT_GT(two.bounds.height, 250);
    EXPECT_GE(two.bounds.x, 0);
    EXPECT_GE(two.bounds.y, 0);

    // Activating the older window brings it to the front and is announced.
    ASSERT_TRUE(spinUntil([&] { return list.activeWindow() == second; }, 5s));
    changes = 0;
    ASSERT_TRUE(list.activate(first));
    EXPECT_TRUE(spinUntil([&] { return list.activeWindow() == first && changes > 0; }, 5s));
    const QList<WindowInfo> after = *list.onScreenWindows();
    ASSERT_FALSE(after.isEmpty());
    EXPECT_EQ(after.front().id, first);

    // A hidden window leaves the list of windows on screen.
    ASSERT_TRUE(list.minimize(first));
    EXPECT_TRUE(spinUntil([&] { return !find(*list.onScreenWindows(), first); }, 5s));

    app_->close(second);
    EXPECT_FALSE(list.activate(second));
    EXPECT_FALSE(list.minimize(second));
    EXPECT_TRUE(spinUntil([&] { return !find(*list.onScreenWindows(), second); }, 5s));
    app_->close(first);
}

TEST(X11WindowListWithoutServer, AnswersNothingWithoutADisplay)
{
    x11::X11WindowList list(":9999");
    EXPECT_FALSE(list.onScreenWindows());
    EXPECT_FALSE(list.activeWindow());
    EXPECT_FALSE(list.activate(1));
    EXPECT_FALSE(list.minimize(1));
}

} // namespace
