// The windows, built headless against the real device manager and simulated
// phones. Each is also rendered to a PNG in the build folder so a person can look.

#include "WindowHarness.h"
#include "input/InputFakes.h"
#include "platform/LoginAutostart.h"
#include "support/Devices.h"
#include "support/PhoneProgramStart.h"
#include "ui/DeviceConfigRow.h"
#include "ui/KeyboardMouseSetupWindow.h"
#include "ui/LumarientApp.h"
#include "ui/OnboardingWindow.h"
#include "ui/PairingDialog.h"
#include "ui/PairingSheet.h"
#include "ui/SettingsWindow.h"
#include "ui/TrayIcon.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
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

TEST_F(WindowsTest, KeyboardMouseOnlyOpensTheSetupWindowUntilItHasBeenSeen)
{
    DeviceManager &manager = startManager();
    plugIn("R58M", "S10");
    refreshNow();
    const DeviceConfig config = manager.configs().first();
    LumarientApp app(menuSources(), defaults_);
    app.menuActions().trigger({MenuAction::Kind::startKeyboardMouse, config.id});
    KeyboardMouseSetupWindow *window = app.keyboardMouseSetupWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(keyboardMouse_.lastError()) << "the first press only opens the window";
    EXPECT_TRUE(window->inputStepFinished());
    EXPECT_FALSE(window->placementStepFinished());
    EXPECT_TRUE(window->placementBody()->text().contains(QStringLiteral("<b>Keyboard &amp; Mouse Only</b>")));
    EXPECT_FALSE(window->placementButton(Placement::left)->isEnabled());
    saveScreenshot(*window, "keyboard-mouse-setup");

    window->doneButton()->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(defaults_.value(QStringLiteral("hasSeenKeyboardMouseSetup")).toBool());
    app.menuActions().trigger({MenuAction::Kind::startKeyboardMouse, config.id});
    EXPECT_EQ(keyboardMouse_.lastError(),
              QStringLiteral("Keyboard & mouse sharing isn't available on this desktop yet."));
    app.menuActions().trigger({MenuAction::Kind::openKeyboardMouseSetup, {}});
    EXPECT_EQ(app.keyboardMouseSetupWindow(), window);
    EXPECT_TRUE(window->isVisible());

    // Settings shows the pointer speed and keeps a change per phone.
    app.showSettings();
    ASSERT_EQ(app.settingsWindow()->rows().size(), 1);
    QDoubleSpinBox *speed = app.settingsWindow()->rows().first()->pointerSpeedField();
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(speed->value(), 1.0);
    speed->setValue(1.5);
    EXPECT_EQ(keyboardMouse_.pointerSpeed(config.id), 1.5);
}

TEST_F(WindowsTest, SetupWindowFollowsAndMovesTheStandInDisplay)
{
    ASSERT_TRUE(writeInputArchive(prefix_.filePath(QStringLiteral("share/lumarient/lumarient-input.jar"))));
    plugIn("R58M", "S10");
    FakeLayout layout;
    layout.displays[1] = {0, 0, 1920, 1080};
    FakeMonitors monitors(layout);
    FakeTap tap;
    SeamlessInputManager sharing({&monitors, &layout, &tap, nullptr, &scrcpy_}, {paths_, adb_, defaults_});
    const DeviceConfig config = makeConfig(QStringLiteral("Galaxy S10"));
    sharing.start(config, phone(QStringLiteral("R58M"), QStringLiteral("S10")));
    ASSERT_TRUE(spinUntil([&] { return tap.started; }));

    KeyboardMouseSetupWindow window(sharing, defaults_);
    window.present();
    EXPECT_TRUE(window.placementStepFinished());
    EXPECT_EQ(window.placementBody()->text(),
              QStringLiteral("Positioned to the right of your main display — the cursor crosses over at that edge."));
    EXPECT_TRUE(window.placementButton(Placement::right)->isChecked());
    window.placementButton(Placement::left)->click();
    EXPECT_EQ(layout.displays.at(*sharing.standInDisplayID()), (DisplayRect{-1920, 0, 1920, 1080}));
    EXPECT_TRUE(window.placementButton(Placement::left)->isChecked());
    EXPECT_FALSE(window.placementButton(Placement::right)->isChecked());
    saveScreenshot(window, "keyboard-mouse-setup-placed");

    // Moved behind its back onto the main display: the next tick shows the hint.
    layout.displays[*sharing.standInDisplayID()] = {100, 0, 1920, 1080};
    ASSERT_TRUE(spinUntil([&] { return !window.placementStepFinished(); }, std::chrono::seconds(3)));
    EXPECT_TRUE(window.placementBody()->text().startsWith(
        QStringLiteral("The stand-in display is currently overlapping your main display. Choose a side below")));
    saveScreenshot(window, "keyboard-mouse-setup-overlapping");
    window.close();
    sharing.stopAll();
}
