// The windows, built headless against the real device manager and simulated
// phones. Each is also rendered to a PNG in the build folder so a person can look.

#include "devices/ManagerHarness.h"
#include "ui/DeviceConfigRow.h"
#include "ui/LumarientApp.h"
#include "ui/MenuRenderer.h"
#include "ui/OnboardingWindow.h"
#include "ui/PairingDialog.h"
#include "ui/SettingsWindow.h"
#include "ui/TrayIcon.h"
#include "wireless/PairingSheet.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QToolButton>

#include <algorithm>

using namespace lumarient;
using namespace lumarient::test;

namespace {

void saveScreenshot(QWidget &window, const char *name)
{
    window.grab().save(QStringLiteral(LUMARIENT_SCREENSHOT_DIR "/%1.png").arg(QLatin1String(name)));
}

class WindowsTest : public ManagerHarness {
protected:
    void plugIn(const char *serial, const char *model, const char *state = "device")
    {
        phonesim::SimPhone phone = makePhone(QString::fromLatin1(serial), QString::fromLatin1(model));
        phone.state = state;
        phone.props["ro.product.marketname"] = std::string("Galaxy ") + model;
        sim_.addPhone(phone);
    }
    void setState(const char *state)
    {
        sim_.update([&](phonesim::SimState &world) { world.phones[0].state = state; });
    }
};

} // namespace

TEST_F(WindowsTest, SettingsRowsWriteValidEditsThroughAndRemoveForgets)
{
    DeviceManager &manager = startManager();
    SettingsWindow window(manager);
    EXPECT_TRUE(window.rows().isEmpty());
    EXPECT_FALSE(window.findChild<QLabel *>()->text().isEmpty());
    saveScreenshot(window, "settings-empty");

    plugIn("R58M", "S10");
    refreshNow();
    ASSERT_EQ(window.rows().size(), 1);
    DeviceConfigRow *row = window.rows().first();
    EXPECT_EQ(row->nameField()->text(), QStringLiteral("Galaxy S10"));
    EXPECT_EQ(row->portField()->text(), QStringLiteral("5555"));
    saveScreenshot(window, "settings-one-phone");

    QTest::keyClicks(row->nameField(), QStringLiteral(" (work)"));
    EXPECT_EQ(DeviceConfig::load(defaults_).first().name, QStringLiteral("Galaxy S10 (work)"));

    // Each keystroke writes through, but a port out of range and a resolution the
    // phone's shell would misread never reach the saved list; the field falls
    // back to what was saved when the user leaves it.
    row->portField()->setFocus();
    row->portField()->selectAll();
    QTest::keyClicks(row->portField(), QStringLiteral("70000"));
    row->resolutionField()->setFocus();
    row->resolutionField()->selectAll();
    QTest::keyClicks(row->resolutionField(), QStringLiteral("1920x1080/240;reboot"));
    EXPECT_EQ(DeviceConfig::load(defaults_).first().wifiPort, 7000);
    EXPECT_EQ(row->portField()->text(), QStringLiteral("7000"));
    EXPECT_EQ(DeviceConfig::load(defaults_).first().resolution, QStringLiteral("1920x1080/240"));
    QTest::keyClick(row->resolutionField(), Qt::Key_Return);
    EXPECT_EQ(row->resolutionField()->text(), QStringLiteral("1920x1080/240"));
    row->portField()->selectAll();
    QTest::keyClicks(row->portField(), QStringLiteral("5600"));
    row->invisibleDesktopToggle()->click();
    const DeviceConfig saved = DeviceConfig::load(defaults_).first();
    EXPECT_EQ(saved.wifiPort, 5600);
    EXPECT_TRUE(saved.supportsVirtualDisplay);
    EXPECT_EQ(manager.configs().first(), saved);

    row->findChild<QToolButton *>()->click();
    spinUntil([&] { return window.rows().isEmpty(); });
    EXPECT_TRUE(manager.configs().isEmpty());
    EXPECT_TRUE(DeviceConfig::load(defaults_).isEmpty());
}

TEST_F(WindowsTest, OnboardingFollowsThePhoneAndRemembersItWasClosed)
{
    DeviceManager &manager = startManager();
    OnboardingWindow window(manager, defaults_, [](QWidget *) {});
    window.present();
    EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("Waiting for a phone…"));
    EXPECT_FALSE(window.doneButton()->isEnabled());
    EXPECT_TRUE(window.skipButton()->isEnabled());

    plugIn("R58M", "S10", "unauthorized");
    refreshNow();
    EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("Almost there — tap Allow on your phone"));
    EXPECT_FALSE(window.doneButton()->isEnabled());

    setState("device");
    refreshNow();
    EXPECT_EQ(window.statusLabel()->text(), QStringLiteral("Connected: Galaxy S10"));
    EXPECT_TRUE(window.doneButton()->isEnabled());
    saveScreenshot(window, "onboarding-connected");

    EXPECT_FALSE(defaults_.value(QStringLiteral("hasCompletedOnboarding")).toBool());
    window.close();
    EXPECT_TRUE(defaults_.value(QStringLiteral("hasCompletedOnboarding")).toBool());
}

TEST_F(WindowsTest, PairingSheetShowsItsQRCodeAndEnablesPairOnlyWhenReady)
{
    DeviceManager &manager = startManager();
    QWidget parent;
    PairingDialog dialog(manager, &parent);
    dialog.show();
    ASSERT_FALSE(dialog.qrLabel()->pixmap().isNull());
    EXPECT_EQ(dialog.qrLabel()->pixmap().size(), QSize(160, 160));
    EXPECT_TRUE(dialog.sheet().qrSession().has_value());
    EXPECT_FALSE(dialog.pairButton()->isEnabled());
    EXPECT_FALSE(dialog.candidateList()->isVisible());
    QTest::keyClicks(dialog.codeField(), QStringLiteral("123456"));
    // A code alone is not enough: no phone is selected.
    EXPECT_FALSE(dialog.pairButton()->isEnabled());
    saveScreenshot(dialog, "pairing-sheet");
}

TEST_F(WindowsTest, AppOpensOneSettingsWindowAndOnboardingUntilCompleted)
{
    DeviceManager &manager = startManager();
    {
        LumarientApp app(manager, nullptr, defaults_);
        app.launch();
        ASSERT_NE(app.onboardingWindow(), nullptr);
        EXPECT_TRUE(app.onboardingWindow()->isVisible());
        app.showSettings();
        SettingsWindow *first = app.settingsWindow();
        first->close();
        app.showSettings();
        EXPECT_EQ(app.settingsWindow(), first);
        EXPECT_TRUE(first->isVisible());
        app.onboardingWindow()->close();
    }
    LumarientApp relaunched(manager, nullptr, defaults_);
    relaunched.launch();
    EXPECT_EQ(relaunched.onboardingWindow(), nullptr);
}

TEST_F(WindowsTest, TrayMenuShowsTheManagersStateAndActsOnIt)
{
    DeviceManager &manager = startManager();
    plugIn("R58M", "S10");
    refreshNow();
    LumarientApp app(manager, nullptr, defaults_);
    TrayIcon &tray = app.tray();
    emit tray.menu().aboutToShow();
    QStringList texts;
    for (QAction *action : tray.menu().actions())
        texts.append(action->isSeparator() ? QStringLiteral("---") : action->text());
    EXPECT_EQ(texts.mid(0, 5), (QStringList{"Galaxy S10 — USB", "Desktop Mode", "Mirror Screen",
                                            "Use as Second Display", "Switch to Wi-Fi"}));
    EXPECT_FALSE(tray.menu().actions().first()->isEnabled());

    // Choosing "Mirror Screen" starts the session through the manager.
    tray.menu().actions()[2]->trigger();
    ASSERT_TRUE(spinUntil([&] { return !scrcpyRuns().isEmpty(); }));
    EXPECT_EQ(scrcpyRuns().first().first(), QStringLiteral("-s"));
    // An action for a configuration that has gone since the menu was built does nothing.
    tray.perform({MenuAction::Kind::startDesktop, QUuid::createUuid()});
}

namespace {

QList<MenuEntry> manyPhones(int count)
{
    QList<MenuEntry> entries;
    for (int index = 0; index < count; ++index) {
        entries.append(MenuEntry::textLine(QStringLiteral("Phone %1 — not connected").arg(index)));
        entries.append(MenuEntry::divider());
    }
    entries.append(MenuEntry::button(QStringLiteral("Scan Network for Devices"), {MenuAction::Kind::scanNetwork, {}}));
    entries.append(MenuEntry::button(QStringLiteral("Quit Lumarient"), {MenuAction::Kind::quit, {}}));
    return entries;
}

void expectShows(QMenu &menu, const QList<MenuEntry> &entries)
{
    const QList<QAction *> actions = menu.actions();
    ASSERT_EQ(actions.size(), entries.size());
    for (qsizetype index = 0; index < entries.size(); ++index) {
        const MenuEntry &entry = entries[index];
        ASSERT_EQ(actions[index]->isSeparator(), entry.kind == MenuEntry::Kind::divider) << index;
        if (entry.kind == MenuEntry::Kind::divider)
            continue;
        ASSERT_EQ(actions[index]->text(), QString(entry.text).replace(QLatin1Char('&'), QStringLiteral("&&"))) << index;
        ASSERT_EQ(actions[index]->isEnabled(), entry.kind == MenuEntry::Kind::button && entry.enabled) << index;
    }
}

} // namespace

TEST(MenuRenderer, ALongMenuChangesOnlyWhereItDiffers)
{
    // Qt pays a walk over the whole menu for every item added or removed, so
    // rebuilding 30,000 phones' lines at every change took seconds each.
    QMenu menu;
    QList<MenuAction> chosen;
    QList<MenuEntry> entries = manyPhones(15000);
    renderMenu(menu, entries, [&](const MenuAction &) { ADD_FAILURE() << "an earlier render's callback ran"; });
    expectShows(menu, entries);
    const QList<QAction *> before = menu.actions();

    // A new phone in the middle, one phone gone, the scan running.
    const QUuid newPhone = QUuid::createUuid();
    entries.remove(4, 2);
    entries.insert(15000, MenuEntry::textLine(QStringLiteral("New & shiny — USB")));
    entries.insert(15001,
                   MenuEntry::button(QStringLiteral("Mirror Screen"), {MenuAction::Kind::startMirror, newPhone}));
    entries.insert(15002, MenuEntry::divider());
    entries[entries.size() - 2] =
        MenuEntry::button(QStringLiteral("Scanning Network…"), {MenuAction::Kind::scanNetwork, {}}, false);
    renderMenu(menu, entries, [&](const MenuAction &action) { chosen.append(action); });
    expectShows(menu, entries);

    // The items stay; only the one more that is needed is made.
    const QList<QAction *> after = menu.actions();
    const QSet<QAction *> earlier(before.cbegin(), before.cend());
    EXPECT_EQ(std::count_if(after.cbegin(), after.cend(), [&](QAction *action) { return !earlier.contains(action); }),
              1);
    EXPECT_EQ(after.first(), before.first());
    EXPECT_EQ(after.last(), before.last());
    EXPECT_EQ(after[15000]->text(), QStringLiteral("New && shiny — USB"));

    // Kept and new buttons both call the latest render's callback.
    after.last()->trigger();
    after[15001]->trigger();
    EXPECT_EQ(chosen, (QList<MenuAction>{{MenuAction::Kind::quit, {}}, {MenuAction::Kind::startMirror, newPhone}}));
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
