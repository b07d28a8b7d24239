#include "ui/MenuModel.h"
#include "MenuTexts.h"
#include "support/Devices.h"

#include <gtest/gtest.h>

#include <functional>

using namespace lumarient;
using namespace lumarient::test;
using Kind = MenuAction::Kind;

namespace {

const QStringList footer{"Refresh Devices", "Scan Network for Devices", "Settings…",
                         "Setup Guide…",    "Keyboard & Mouse Setup…",  "---",
                         "Quit Lumarient"};
const QStringList offers{"Desktop Mode", "Mirror Screen", "Use as Second Display", "Keyboard & Mouse Only"};
const QString cannotWatch =
    QStringLiteral("⚠️ Keyboard and mouse can't be watched on this desktop — see Keyboard & Mouse Setup…");

} // namespace

TEST(MenuModel, EachStateShowsItsLines)
{
    const DeviceConfig a = makeConfig("Phone A", "Model_A");
    const DeviceConfig b = makeConfig("Phone B", "Model_B");
    const DeviceConfig invisible{
        QUuid::createUuid(), "Pixel 9", "Pixel_9", 0, DeviceConfig::defaultResolution(), true, true};
    const DeviceConfig visibleOnly{
        QUuid::createUuid(), "Galaxy", "SM_G973F", 0, DeviceConfig::defaultResolution(), true, false};
    const auto two = [&](MenuState &s) {
        s.configs = {a, b};
        s.devices = {phone("AAA", "Model_A"), phone("BBB", "Model_B")};
    };
    const auto withA = [&](MenuState &s, const ConnectedDevice &d) {
        s.configs = {a};
        s.devices = {d};
    };
    const struct {
        const char *what;
        std::function<void(MenuState &)> arrange;
        QStringList lines;
    } cases[] = {
        {"nothing", [](MenuState &) {}, {"No devices — plug in a phone with USB debugging on", "---"}},
        {"a phone to approve",
         [](MenuState &s) { s.devices = {phone("R58M", QString(), DeviceState::unauthorized)}; },
         {"⏳ Phone waiting for approval — tap Allow on its screen", "---"}},
        {"configured phone absent or offline",
         [&](MenuState &s) {
             s.configs = {a};
             s.devices = {phone("OTHER", "Pixel_8"), phone("OFF", "Model_A", DeviceState::offline)};
         },
         {"Phone A — not connected", "---"}},
        {"on the cable", [&](MenuState &s) { withA(s, phone("R58M", "Model_A")); },
         QStringList{"Phone A — USB"} + offers + QStringList{"Switch to Wi-Fi", "---"}},
        {"cable with Wi-Fi standby",
         [&](MenuState &s) {
             withA(s, phone("R58M", "Model_A"));
             s.devices.prepend(phone("192.168.1.23:5555", "Model_A"));
         },
         QStringList{"Phone A — USB, Wi-Fi standby"} + offers + QStringList{"---"}},
        {"invisible desktop only with window management",
         [&](MenuState &s) {
             s.configs = {invisible, visibleOnly};
             s.devices = {phone("192.168.1.9:5555", "Pixel_9"), phone("R58M", "SM_G973F")};
         },
         QStringList{"Pixel 9 — Wi-Fi", "Desktop Mode", "Desktop Mode (invisible)", "Mirror Screen",
                     "Use as Second Display", "Keyboard & Mouse Only", "---", "Galaxy — USB"} +
             offers + QStringList{"Switch to Wi-Fi", "---"}},
        {"a running session offers only stop",
         [&](MenuState &s) {
             withA(s, phone("192.168.1.23:5555", "Model_A"));
             s.runningSessions.insert(a.id, SessionKind::virtualDesktop);
         },
         {"Phone A — Wi-Fi, Desktop (invisible) running", "Stop Session", "---"}},
        {"second display on one phone, mirror on the other",
         [&](MenuState &s) {
             two(s);
             s.runningSessions.insert(b.id, SessionKind::mirror);
             s.secondDisplayActiveSerial = QStringLiteral("AAA");
             s.secondDisplayError = QStringLiteral("Couldn't start the display stream: Address already in use");
         },
         {"Phone A — USB", "Stop Second Display", "---", "Phone B — USB, Mirror running", "Stop Session", "---",
          "⚠️ Couldn't start the display stream: Address already in use", "---"}},
        {"keyboard and mouse on A, second display on B",
         [&](MenuState &s) {
             two(s);
             s.keyboardMouseActiveConfigIDs = {a.id};
             s.secondDisplayActiveSerial = QStringLiteral("BBB");
         },
         {"Phone A — USB", "Stop Keyboard & Mouse", "---", "Phone B — USB", "Stop Second Display", "---"}},
        {"second display elsewhere makes a free phone busy",
         [&](MenuState &s) {
             two(s);
             s.secondDisplayActiveSerial = QStringLiteral("BBB");
         },
         {"Phone A — USB", "Second display busy on another phone", "---", "Phone B — USB", "Stop Second Display",
          "---"}},
        {"input cannot be watched; errors in order",
         [&](MenuState &s) {
             withA(s, phone("R58M", "Model_A"));
             s.needsInputMonitoringPermission = true;
             s.lastError = QStringLiteral("adb failed");
             s.keyboardMouseError = QStringLiteral("Couldn't start Keyboard & Mouse: fatal");
         },
         QStringList{"Phone A — USB"} + offers +
             QStringList{cannotWatch, "Switch to Wi-Fi", "---", "⚠️ adb failed", "---",
                         "⚠️ Couldn't start Keyboard & Mouse: fatal", "---"}},
        {"no keyboard and mouse sharing on this desktop: a line instead, and no permission hint",
         [&](MenuState &s) {
             withA(s, phone("R58M", "Model_A"));
             s.keyboardMouseAvailable = false;
             s.needsInputMonitoringPermission = true;
         },
         {"Phone A — USB", "Desktop Mode", "Mirror Screen", "Use as Second Display",
          "Keyboard & mouse sharing isn't available on this desktop yet.", "Switch to Wi-Fi", "---"}},
    };
    for (const auto &[what, arrange, lines] : cases) {
        MenuState state;
        arrange(state);
        EXPECT_EQ(lumarient::test::menuTexts(buildMenu(state)), lines + footer) << what;
    }
}

TEST(MenuModel, EntriesCarryTheirActionsAndStates)
{
    const DeviceConfig a = makeConfig("Phone A", "Model_A");
    const DeviceConfig b = makeConfig("Phone B", "Model_B");
    MenuState state;
    state.configs = {a, b};
    state.devices = {phone("AAA", "Model_A"), phone("BBB", "Model_B")};
    state.keyboardMouseActiveConfigIDs = {b.id};
    state.lastError = QStringLiteral("Phone is not on Wi-Fi — join the same network as this computer");
    state.lanScanInProgress = true;
    const QList<MenuEntry> menu = buildMenu(state);
    QStringList scanningFooter = footer;
    scanningFooter[1] = QStringLiteral("Scanning Network…");
    ASSERT_EQ(lumarient::test::menuTexts(menu),
              (QStringList{"Phone A — USB"} + offers +
               QStringList{"Switch to Wi-Fi", "---", "Phone B — USB", "Stop Keyboard & Mouse", "---",
                           "⚠️ Phone is not on Wi-Fi — join the same network as this computer", "---"} +
               scanningFooter));
    EXPECT_EQ(menu[0].kind, MenuEntry::Kind::text);
    EXPECT_EQ(menu[1].action, (MenuAction{Kind::startDesktop, a.id}));
    EXPECT_EQ(menu[4].action, (MenuAction{Kind::startKeyboardMouse, a.id}));
    EXPECT_EQ(menu[5].action, (MenuAction{Kind::switchToWifi, a.id}));
    EXPECT_TRUE(menu[5].enabled);
    EXPECT_EQ(menu[8].action, (MenuAction{Kind::stopKeyboardMouse, b.id}));
    EXPECT_EQ(menu[10].kind, MenuEntry::Kind::text);
    EXPECT_FALSE(menu[13].enabled) << "no second scan while one runs";
    EXPECT_EQ(menu[16].action, (MenuAction{Kind::openKeyboardMouseSetup, {}}));

    MenuState running;
    running.configs = {a, b};
    running.devices = state.devices;
    running.runningSessions.insert(a.id, SessionKind::mirror);
    running.secondDisplayActiveSerial = QStringLiteral("BBB");
    const QList<MenuEntry> sessions = buildMenu(running);
    EXPECT_EQ(sessions[1].action, (MenuAction{Kind::stopSession, a.id}));
    EXPECT_EQ(sessions[4].action, (MenuAction{Kind::stopSecondDisplay, b.id}));

    MenuState unavailable = running;
    unavailable.runningSessions.clear();
    unavailable.secondDisplayActiveSerial.reset();
    unavailable.keyboardMouseAvailable = false;
    const QList<MenuEntry> withoutSharing = buildMenu(unavailable);
    EXPECT_EQ(withoutSharing[4].kind, MenuEntry::Kind::text) << "the line is not a button";
    EXPECT_EQ(withoutSharing[4].action, MenuAction{});
}
