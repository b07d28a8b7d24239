#pragma once

#include "platform/LoginAutostart.h"
#include "ui/MenuSources.h"

#include <QObject>
#include <QPointer>

namespace lumarient {

class KeyboardMouseSetupWindow;
class OnboardingWindow;
class SeamlessInputManager;
class SettingsWindow;
class SoftwareUpdater;
class TrayIcon;
class UpdatePrompts;
class UserDefaults;

// The application's visible side: the tray icon and its menu, the onboarding
// window shown until it has been closed once, and the settings window. The
// windows are made on first use and kept until the app quits.
class LumarientApp : public QObject {
    Q_OBJECT
public:
    // Without an updater the menu has no "Check for Updates…".
    LumarientApp(const MenuSources &sources, UserDefaults &defaults, SoftwareUpdater *updater = nullptr,
                 QObject *parent = nullptr);
    ~LumarientApp() override;

    // Shows the tray icon, and the onboarding window unless it was completed;
    // starts the updater.
    void launch();

    void showSettings();
    void showOnboarding();
    void showKeyboardMouseSetup();
    // Another launch asked for this instance: bring forward the window the user
    // most likely wants.
    void bringForward();

    TrayIcon &tray() { return *tray_; }
    SettingsWindow *settingsWindow() const;
    OnboardingWindow *onboardingWindow() const;
    KeyboardMouseSetupWindow *keyboardMouseSetupWindow() const;

private:
    DeviceManager &devices_;
    WirelessConnector &wireless_;
    SeamlessInputManager &keyboardMouse_;
    UserDefaults &defaults_;
    SoftwareUpdater *updater_;
    UpdatePrompts *updatePrompts_ = nullptr;
    TrayIcon *tray_;
    LoginAutostart autostart_;
    QPointer<SettingsWindow> settings_;
    QPointer<OnboardingWindow> onboarding_;
    QPointer<KeyboardMouseSetupWindow> keyboardMouseSetup_;
};

} // namespace lumarient
