#pragma once

#include "platform/LoginAutostart.h"
#include "ui/MenuActions.h"

#include <QObject>
#include <QPointer>

namespace lumarient {

class ControlWindow;
class KeyboardMouseSetupWindow;
class OnboardingWindow;
class SeamlessInputManager;
class SettingsWindow;
class SoftwareUpdater;
class TrayHost;
class TrayIcon;
class UpdatePrompts;
class UserDefaults;

// The application's visible side: the tray icon and its menu, the control
// window that stands in for the menu where the desktop shows no tray icons, the
// onboarding window shown until it has been closed once, and the settings
// window. The windows are made on first use and kept until the app quits.
class LumarientApp : public QObject {
    Q_OBJECT
public:
    // Without an updater the menu has no "Check for Updates…". `trayHost` tells
    // whether tray icons show and when that changes; without one only Qt's own
    // answer counts, asked when needed.
    LumarientApp(const MenuSources &sources, UserDefaults &defaults, SoftwareUpdater *updater = nullptr,
                 TrayHost *trayHost = nullptr, QObject *parent = nullptr);
    ~LumarientApp() override;

    // Shows the tray icon, and the onboarding window unless it was completed;
    // without a tray the control window, after onboarding; starts the updater.
    void launch();

    void showSettings();
    void showOnboarding();
    void showKeyboardMouseSetup();
    void showControlWindow();
    // Another launch asked for this instance: bring forward the window the user
    // most likely wants.
    void bringForward();

    // Whether the desktop shows the tray icon now.
    bool hasTray() const;
    MenuActions &menuActions() { return actions_; }
    TrayIcon &tray() { return *tray_; }
    ControlWindow *controlWindow() const;
    SettingsWindow *settingsWindow() const;
    OnboardingWindow *onboardingWindow() const;
    KeyboardMouseSetupWindow *keyboardMouseSetupWindow() const;

private:
    void trayHostChanged(bool present);
    void onboardingClosed();

    DeviceManager &devices_;
    WirelessConnector &wireless_;
    SeamlessInputManager &keyboardMouse_;
    UserDefaults &defaults_;
    SoftwareUpdater *updater_;
    UpdatePrompts *updatePrompts_ = nullptr;
    TrayHost *trayHost_;
    MenuActions actions_;
    TrayIcon *tray_;
    LoginAutostart autostart_;
    QPointer<SettingsWindow> settings_;
    QPointer<OnboardingWindow> onboarding_;
    QPointer<KeyboardMouseSetupWindow> keyboardMouseSetup_;
    QPointer<ControlWindow> control_;
};

} // namespace lumarient
