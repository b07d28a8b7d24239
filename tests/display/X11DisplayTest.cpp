#include "display/DisplayGeometryCache.h"
#include "display/VirtualDisplay.h"
#include "platform/UserDefaults.h"
#include "platform/x11/X11DisplayLayout.h"
#include "platform/x11/X11VirtualMonitors.h"
#include "platform/x11/XcbConnection.h"
#include "support/EventLoop.h"
#include "support/XorgServer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumarient;
using namespace lumarient::test;

namespace {

// One X server for every test here; each test leaves it as it found it.
class X11DisplayTest : public XorgSuite {
protected:
    void SetUp() override
    {
        XorgSuite::SetUp();
        defaults_ = std::make_unique<UserDefaults>(folder_.filePath(QStringLiteral("Lumarient.conf")));
    }

    x11::ScreenSize framebuffer()
    {
        x11::XcbConnection connection(server_->displayName());
        return x11::framebufferSize(connection);
    }

    QTemporaryDir folder_;
    std::unique_ptr<UserDefaults> defaults_;
};

// Counts the questions that reach the window system.
class CountingLayout final : public DisplayLayout {
public:
    explicit CountingLayout(DisplayLayout &real) : real_(real) {}
    std::vector<std::uint32_t> activeDisplays() override
    {
        ++listQueries;
        return real_.activeDisplays();
    }
    DisplayRect displayBounds(std::uint32_t id) override
    {
        ++boundsQueries;
        return real_.displayBounds(id);
    }
    void setReconfigurationHandler(std::function<void()> handler) override
    {
        real_.setReconfigurationHandler(std::move(handler));
    }
    int listQueries = 0;
    int boundsQueries = 0;

private:
    DisplayLayout &real_;
};

} // namespace

TEST_F(X11DisplayTest, VirtualDisplaysSitRightOfTheRightMostDisplayAndVanishWhenReleased)
{
    x11::X11VirtualMonitorFactory factory(defaults_.get(), server_->displayName());
    x11::X11DisplayLayout layout(server_->displayName());
    const std::uint32_t firstSerial = VirtualDisplay::nextSerialNumber();
    {
        std::shared_ptr<VirtualDisplay> first = VirtualDisplay::create(factory, "Lumarient Display", 2400, 1080, 60);
        ASSERT_TRUE(first);
        EXPECT_NE(first->displayID(), 0u);
        EXPECT_EQ(first->serialNumber(), firstSerial);
        EXPECT_EQ(layout.displayBounds(first->displayID()), (DisplayRect{1920, 0, 2400, 1080}));
        EXPECT_EQ(framebuffer().width, 4320) << "the framebuffer grows to hold it";
        EXPECT_TRUE(server_->monitorNames().contains(QStringLiteral("Lumarient Display %1").arg(firstSerial)));
        EXPECT_EQ(defaults_->stringArray(x11::X11VirtualMonitorFactory::createdMonitorsKey).size(), 1);

        std::shared_ptr<VirtualDisplay> second = VirtualDisplay::create(factory, "Lumarient Display", 1440, 900, 60);
        ASSERT_TRUE(second);
        EXPECT_EQ(second->serialNumber(), firstSerial + 1);
        EXPECT_NE(second->displayID(), first->displayID());
        EXPECT_EQ(layout.displayBounds(second->displayID()), (DisplayRect{4320, 0, 1440, 900}));
        EXPECT_EQ(layout.activeDisplays().size(), 3u);

        const std::uint32_t firstID = first->displayID();
        first.reset();
        EXPECT_TRUE(layout.displayBounds(firstID).isEmpty());
        EXPECT_EQ(layout.activeDisplays().size(), 2u);
        // The second one can move next to the remaining display.
        second->placeAdjacentToMainDisplay();
        EXPECT_EQ(layout.displayBounds(second->displayID()), (DisplayRect{1920, 0, 1440, 900}));
        EXPECT_EQ(framebuffer().width, 3360);
        // Below the main display; nothing can lie left of the screen's origin.
        EXPECT_TRUE(second->moveTo(240, 1080));
        EXPECT_EQ(layout.displayBounds(second->displayID()), (DisplayRect{240, 1080, 1440, 900}));
        EXPECT_EQ(framebuffer().height, 1980);
        EXPECT_FALSE(second->moveTo(-1440, 0));
        EXPECT_EQ(layout.displayBounds(second->displayID()), (DisplayRect{240, 1080, 1440, 900}));
    }
    EXPECT_EQ(server_->monitorNames(), QStringList{QStringLiteral("DUMMY0")}) << "no ghost monitor";
    EXPECT_EQ(framebuffer().width, 1920);
    EXPECT_EQ(framebuffer().height, 1080);
    EXPECT_TRUE(defaults_->stringArray(x11::X11VirtualMonitorFactory::createdMonitorsKey).isEmpty());
}

TEST_F(X11DisplayTest, AMonitorLeftByAKilledProcessIsRemovedAtTheNextStart)
{
    const QString settingsPath = defaults_->filePath();
    const pid_t child = fork();
    if (child == 0) {
        // The "application": creates its display and dies without any clean-up.
        UserDefaults defaults(settingsPath);
        x11::X11VirtualMonitorFactory factory(&defaults, server_->displayName());
        std::shared_ptr<VirtualDisplay> display = VirtualDisplay::create(factory, "Lumarient Display", 1440, 900, 60);
        raise(SIGKILL);
        _exit(display ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(server_->monitorNames().size(), 2) << "RandR keeps the monitor of a dead client";

    UserDefaults restarted(settingsPath);
    x11::X11VirtualMonitorFactory factory(&restarted, server_->displayName());
    EXPECT_EQ(factory.removeLeftovers(), 1);
    EXPECT_EQ(server_->monitorNames(), QStringList{QStringLiteral("DUMMY0")});
    EXPECT_EQ(framebuffer().width, 1920);
    EXPECT_TRUE(restarted.stringArray(x11::X11VirtualMonitorFactory::createdMonitorsKey).isEmpty());
    EXPECT_EQ(factory.removeLeftovers(), 0);
}

TEST_F(X11DisplayTest, GeometryCacheAsksOnceAndForgetsOnEveryDisplayChange)
{
    x11::X11DisplayLayout real(server_->displayName());
    CountingLayout counting(real);
    DisplayGeometryCache cache(counting);
    const std::vector<std::uint32_t> displays = cache.activeDisplays();
    ASSERT_EQ(displays.size(), 1u);
    EXPECT_EQ(cache.displayBounds(displays[0]), (DisplayRect{0, 0, 1920, 1080}));
    EXPECT_EQ(cache.displayBounds(displays[0]), (DisplayRect{0, 0, 1920, 1080}));
    cache.activeDisplays();
    EXPECT_EQ(counting.boundsQueries, 1);
    EXPECT_EQ(counting.listQueries, 1);

    // An unknown display's empty rectangle is never kept.
    EXPECT_TRUE(cache.displayBounds(12345).isEmpty());
    EXPECT_TRUE(cache.displayBounds(12345).isEmpty());
    EXPECT_EQ(counting.boundsQueries, 3);

    x11::X11VirtualMonitorFactory factory(nullptr, server_->displayName());
    std::shared_ptr<VirtualDisplay> added = VirtualDisplay::create(factory, "Lumarient Display", 1440, 900, 60);
    ASSERT_TRUE(added);
    spinFor(std::chrono::milliseconds(300));
    EXPECT_EQ(cache.activeDisplays().size(), 2u) << "the change notification emptied the cache";
    EXPECT_EQ(cache.displayBounds(added->displayID()), (DisplayRect{1920, 0, 1440, 900}));

    server_->xrandr(
        {QStringLiteral("--output"), QStringLiteral("DUMMY0"), QStringLiteral("--mode"), QStringLiteral("1600x1200")});
    spinFor(std::chrono::milliseconds(300));
    EXPECT_EQ(cache.displayBounds(displays[0]), (DisplayRect{0, 0, 1600, 1200})) << "a mode change is seen";
    server_->xrandr(
        {QStringLiteral("--output"), QStringLiteral("DUMMY0"), QStringLiteral("--mode"), QStringLiteral("1920x1080")});
    added.reset();
    spinFor(std::chrono::milliseconds(300));
    EXPECT_EQ(cache.activeDisplays().size(), 1u);
}
