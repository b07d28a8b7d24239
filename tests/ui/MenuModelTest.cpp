#include "ui/MenuModel.h"

#include <gtest/gtest.h>

#include <functional>

using namespace lumarient;
using Kind = MenuAction::Kind;

namespace {

ConnectedDevice device(const QString &serial, const QString &model, DeviceState state = DeviceState::ready)
{
    return {serial, model, serial.contains(':'), state};
}

DeviceConfig config(const QString &name, const QString &model)
{
    DeviceConfig made;
    made.id = QUuid::createUuid();
    made.name = name;
    made.modelPattern = model;
    return made;
}

QStringList texts(const QList<MenuEntry> &menu)
{
    QStringList lines;
    for (const MenuEntry &entry : menu)
        lines.append(entry.kind == MenuEntry::Kind::divider ? QStringLiteral("---") : entry.text);
    return lines;
}

const QStringList footer{"Refresh Devices", "Scan Network for Devices", "Settings…",
                         "Setup Guide…",    "Keyboard & Mouse Setup…",  "---",
                         "Quit Lumarient"};

} // namespace

TEST(MenuModel, EmptyStateInvitesToPlugInAPhone)
{
    EXPECT_EQ(texts(buildMenu({})),
              QStringList({"No devices — plug in a phone with USB debugging on", "---"}) + footer);
}

TEST(MenuModel, UnauthorizedPhoneAsksForApprovalInsteadOfNoDevices)
{
    MenuState state;
    state.devices = {device("R58M", QString(), DeviceState::unauthorized)};
    EXPECT_EQ(texts(buildMenu(state)),
              QStringList({"⏳ Phone waiting for approval — tap Allow on its screen", "---"}) + footer);
}

TEST(MenuModel, PhoneNotAttachedShowsOnlyItsHeader)
{
    MenuState state;
    state.configs = {config("Galaxy S10", "SM_G973F")};
    state.devices = {device("OTHER", "Pixel_8"), device("OFF", "SM_G973F", DeviceState::offline)};
    EXPECT_EQ(texts(buildMenu(state)), QStringList({"Galaxy S10 — not connected", "---"}) + footer);
}

TEST(MenuModel, CabledPhoneOffersSessionsAndTheWifiSwitch)
{
    MenuState state;
    DeviceConfig galaxy = config("Galaxy S10", "SM_G973F");
    state.configs = {galaxy};
    state.devices = {device("R58M", "SM_G973F")};
    const QList<MenuEntry> menu = buildMenu(state);
    EXPECT_EQ(texts(menu), QStringList({"Galaxy S10 — USB", "Desktop Mode", "Mirror Screen", "Use as Second Display",
                                        "Keyboard & Mouse Only", "Switch to Wi-Fi", "---"}) +
                               footer);
    EXPECT_EQ(menu[1].action, (MenuAction{Kind::startDesktop, galaxy.id}));
    EXPECT_EQ(menu[4].action, (MenuAction{Kind::startKeyboardMouse, galaxy.id}));
    EXPECT_EQ(menu[5].action, (MenuAction{Kind::switchToWifi, galaxy.id}));
    EXPECT_TRUE(menu[5].enabled);
}

TEST(MenuModel, InvisibleDesktopOnlyWithWindowManagement)
{
    MenuState state;
    DeviceConfig pixel = config("Pixel 9", "Pixel_9");
    pixel.supportsVirtualDisplay = true;
    pixel.virtualDisplayHasWindowManagement = true;
    DeviceConfig galaxy = config("Galaxy", "SM_G973F");
    galaxy.supportsVirtualDisplay = true;
    state.configs = {pixel, galaxy};
    state.devices = {device("192.168.1.9:5555", "Pixel_9"), device("R58M", "SM_G973F")};
    EXPECT_EQ(
        texts(buildMenu(state)),
        QStringList({"Pixel 9 — Wi-Fi", "Desktop Mode", "Desktop Mode (invisible)", "Mirror Screen",
                     "Use as Second Display", "Keyboard & Mouse Only", "---", "Galaxy — USB", "Desktop Mode",
                     "Mirror Screen", "Use as Second Display", "Keyboard & Mouse Only", "Switch to Wi-Fi", "---"}) +
            footer);
}

TEST(MenuModel, CableWithWifiStandbyHasNoSwitchEntry)
{
    MenuState state;
    state.configs = {config("Galaxy S10", "SM_G973F")};
    state.devices = {device("192.168.1.23:5555", "SM_G973F"), device("R58M", "SM_G973F")};
    EXPECT_EQ(texts(buildMenu(state)), QStringList({"Galaxy S10 — USB, Wi-Fi standby", "Desktop Mode", "Mirror Screen",
                                                    "Use as Second Display", "Keyboard & Mouse Only", "---"}) +
                                           footer);
}

TEST(MenuModel, RunningSessionOffersOnlyStop)
{
    MenuState state;
    DeviceConfig galaxy = config("Galaxy S10", "SM_G973F");
    state.configs = {galaxy};
    state.devices = {device("192.168.1.23:5555", "SM_G973F")};
    state.runningSessions.insert(galaxy.id, SessionKind::virtualDesktop);
    const QList<MenuEntry> menu = buildMenu(state);
    EXPECT_EQ(texts(menu),
              QStringList({"Galaxy S10 — Wi-Fi, Desktop (invisible) running", "Stop Session", "---"}) + footer);
    EXPECT_EQ(menu[1].action, (MenuAction{Kind::stopSession, galaxy.id}));
}

TEST(MenuModel, ErrorLineAndScanInProgress)
{
    MenuState state;
    state.configs = {config("Galaxy S10", "SM_G973F")};
    state.lastError = QStringLiteral("Phone is not on Wi-Fi — join the same network as this computer");
    state.lanScanInProgress = true;
    const QList<MenuEntry> menu = buildMenu(state);
    EXPECT_EQ(texts(menu), (QStringList{"Galaxy S10 — not connected", "---",
                                        "⚠️ Phone is not on Wi-Fi — join the same network as this computer",
                                        "---", "Refresh Devices", "Scanning Network…", "Settings…", "Setup Guide…",
                                        "Keyboard & Mouse Setup…", "---", "Quit Lumarient"}));
    EXPECT_FALSE(menu[5].enabled);
    EXPECT_EQ(menu[2].kind, MenuEntry::Kind::text);
}

TEST(MenuModel, SecondDisplayOnOnePhoneMakesTheOthersBusy)
{
    MenuState state;
    DeviceConfig a = config("Phone A", "Model_A");
    DeviceConfig b = config("Phone B", "Model_B");
    DeviceConfig c = config("Phone C", "Model_C");
    state.configs = {a, b, c};
    state.devices = {device("AAA", "Model_A"), device("BBB", "Model_B"), device("CCC", "Model_C")};
    state.runningSessions.insert(c.id, SessionKind::mirror);
    state.secondDisplayActiveSerial = QStringLiteral("AAA");
    state.secondDisplayError = QStringLiteral("Couldn't start the display stream: Address already in use");
    const QList<MenuEntry> menu = buildMenu(state);
    EXPECT_EQ(texts(menu), QStringList({"Phone A — USB", "Stop Second Display", "---", "Phone B — USB",
                                        "Second display busy on another phone", "---", "Phone C — USB, Mirror running",
                                        "Stop Session", "---",
                                        "⚠️ Couldn't start the display stream: Address already in use", "---"}) +
                               footer);
    EXPECT_EQ(menu[1].action, (MenuAction{Kind::stopSecondDisplay, a.id}));
    EXPECT_EQ(menu[4].kind, MenuEntry::Kind::text);
}

TEST(MenuModel, KeyboardAndMouseEntriesFollowEachPhonesActivity)
{
    DeviceConfig a = config("Phone A", "Model_A");
    DeviceConfig b = config("Phone B", "Model_B");
    const QStringList offers{"Desktop Mode", "Mirror Screen", "Use as Second Display", "Keyboard & Mouse Only",
                             "Switch to Wi-Fi"};
    const QString cannotWatch =
        QStringLiteral("⚠️ Keyboard and mouse can't be watched on this desktop — see Keyboard & Mouse Setup…");
    struct Case {
        const char *name;
        std::function<void(MenuState &)> arrange;
        QStringList phoneA;
        QStringList phoneB;
        QStringList errors;
    };
    const Case cases[] = {
        {"A driven, B free",
         [&](MenuState &s) { s.keyboardMouseActiveConfigIDs = {a.id}; },
         {"Stop Keyboard & Mouse"},
         offers,
         {}},
        {"both driven",
         [&](MenuState &s) {
             s.keyboardMouseActiveConfigIDs = {a.id, b.id};
         },
         {"Stop Keyboard & Mouse"},
         {"Stop Keyboard & Mouse"},
         {}},
        {"A driven while B has the second display",
         [&](MenuState &s) {
             s.keyboardMouseActiveConfigIDs = {a.id};
             s.secondDisplayActiveSerial = QStringLiteral("BBB");
         },
         {"Stop Keyboard & Mouse"},
         {"Stop Second Display"},
         {}},
        {"second display elsewhere makes a free phone busy",
         [&](MenuState &s) { s.secondDisplayActiveSerial = QStringLiteral("BBB"); },
         {"Second display busy on another phone"},
         {"Stop Second Display"},
         {}},
        {"input cannot be watched", [&](MenuState &s) { s.needsInputMonitoringPermission = true; }, offers, offers, {}},
        {"error after the device manager's",
         [&](MenuState &s) {
             s.lastError = QStringLiteral("adb failed");
             s.keyboardMouseError = QStringLiteral("Couldn't start Keyboard & Mouse: fatal");
         },
         offers,
         offers,
         {"⚠️ adb failed", "---", "⚠️ Couldn't start Keyboard & Mouse: fatal", "---"}},
    };
    for (const Case &c : cases) {
        MenuState state;
        state.configs = {a, b};
        state.devices = {device("AAA", "Model_A"), device("BBB", "Model_B")};
        c.arrange(state);
        QStringList phoneA = c.phoneA;
        QStringList phoneB = c.phoneB;
        if (state.needsInputMonitoringPermission) {
            phoneA.insert(4, cannotWatch);
            phoneB.insert(4, cannotWatch);
        }
        const QList<MenuEntry> menu = buildMenu(state);
        EXPECT_EQ(texts(menu), QStringList({"Phone A — USB"}) + phoneA + QStringList({"---", "Phone B — USB"}) +
                                   phoneB + QStringList({"---"}) + c.errors + footer)
            << c.name;
        if (c.phoneA == QStringList({"Stop Keyboard & Mouse"})) {
            EXPECT_EQ(menu[1].action, (MenuAction{Kind::stopKeyboardMouse, a.id})) << c.name;
        }
    }
    const QList<MenuEntry> menu = buildMenu({});
    EXPECT_EQ(menu[menu.size() - 3].action, (MenuAction{Kind::openKeyboardMouseSetup, {}}));
}
