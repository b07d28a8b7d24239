// The X11 backends the app makes at start but uses only for keyboard and mouse
// sharing and phone app windows connect to the server at their first use, not
// before, and work through the connection made then.

#include "platform/x11/X11DisplayLayout.h"
#include "platform/x11/X11InputTap.h"
#include "platform/x11/X11WindowList.h"
#include "support/XorgServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

using namespace lumarient;
using lumarient::test::XorgSuite;

namespace {

int openDescriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// Makes a backend on `display` and returns its first use, which tells whether it worked.
using MakeBackend = std::function<std::function<bool()>(const char *display)>;

class X11ConnectionOnDemandTest : public XorgSuite {};

TEST_F(X11ConnectionOnDemandTest, BackendsConnectAtFirstUseAndWorkThroughThatConnection)
{
    const struct {
        const char *name;
        MakeBackend make;
    } cases[] = {
        {"input tap",
         [](const char *display) {
             auto tap = std::make_shared<x11::X11InputTap>(display);
             return [tap] { return tap->cursorPosition().has_value(); };
         }},
        {"display layout",
         [](const char *display) {
             auto layout = std::make_shared<x11::X11DisplayLayout>(display);
             return [layout] {
                 const std::vector<std::uint32_t> displays = layout->activeDisplays();
                 return displays.size() == 1 && layout->displayBounds(displays.front()).width == 1920;
             };
         }},
        {"window list",
         [](const char *display) {
             auto list = std::make_shared<x11::X11WindowList>(display);
             // Without a window manager there is no list, but the question reaches the server.
             return [list] {
                 list->onChanged([] {});
                 return !list->activate(0) && !list->onScreenWindows().has_value();
             };
         }},
    };
    for (const auto &[name, make] : cases) {
        const int before = openDescriptors();
        const std::function<bool()> use = make(server_->displayName());
        EXPECT_EQ(openDescriptors(), before) << name << " connected before its first use";
        EXPECT_TRUE(use()) << name;
        EXPECT_EQ(openDescriptors(), before + 1) << name << " is not on one connection of its own";
    }
}

TEST_F(X11ConnectionOnDemandTest, TheLayoutSeesScreenChangesFromTheHandlerOn)
{
    x11::X11DisplayLayout layout(server_->displayName());
    int changes = 0;
    layout.setReconfigurationHandler([&changes] { ++changes; });
    server_->xrandr({QStringLiteral("--fb"), QStringLiteral("2400x1080")});
    EXPECT_TRUE(lumarient::test::spinUntil([&changes] { return changes > 0; }));
    server_->xrandr({QStringLiteral("--fb"), QStringLiteral("1920x1080")});
}

} // namespace
