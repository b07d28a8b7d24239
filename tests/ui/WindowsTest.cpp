// The windows, built headless against the real device manager and simulated
// phones. Each is also rendered to a PNG in the build folder so a person can look.

#include "WindowHarness.h"
#include "platform/LoginAutostart.h"
#include "ui/DeviceConfigRow.h"
#include "ui/LumarientApp.h"
#include "ui/OnboardingWindow.h"
#include "ui/PairingDialog.h"
#include "ui/PairingSheet.h"
#include "ui/SettingsWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace lumarient;
using namespace lumarient::test;

using WindowsTest = WindowHarness;

TEST_F(WindowsTest, SettingsRowsWriteValidEditsThroughAndRemoveForgets)
{
    DeviceManager &manager = startManager();
    QTemporaryDir autostartFolder;
    const LoginAutostart autostart(autostartFolder.path(), QStringLiteral("/usr/bin/lumarient"));
    SettingsWindow window(manager, autostart);
    EXPECT_TRUE(window.rows().isEmpty());
    // "Start at login" writes the desktop's autostart entry and removes it again.
    EXPECT_FALSE(window.startAtLogin()->isChecked());
    window.startAtLogin()->click();
    EXPECT_TRUE(autostart.isEnabled());
    window.startAtLogin()->click();
    EXPECT_FALSE(QFile::exists(autostart.entryPath()));
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
    PairingDialog dialog(manager, startWireless(), &parent);
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
    startManager();
    {
        LumarientApp app(menuSources(), defaults_);
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
    LumarientApp relaunched(menuSources(), defaults_);
    relaunched.launch();
    EXPECT_EQ(relaunched.onboardingWindow(), nullptr);
}
