#include "ui/LumarientApp.h"

#include "input/SeamlessInputManager.h"
#include "platform/Log.h"
#include "platform/LoginAutostart.h"
#include "platform/UserDefaults.h"
#include "ui/KeyboardMouseSetupWindow.h"
#include "ui/OnboardingWindow.h"
#include "ui/PairingDialog.h"
#include "ui/SettingsWindow.h"
#include "ui/TrayIcon.h"
#include "ui/UpdatePrompts.h"
#include "updates/SoftwareUpdater.h"

#include <QApplication>
#include <QScreen>
#include <QSystemTrayIcon>

namespace lumarient {
namespace {

void centre(QWidget &window)
{
    window.adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

} // namespace

LumarientApp::LumarientApp(const MenuSources &sources, UserDefaults &defaults, SoftwareUpdater *updater,
                           QObject *parent)
    : QObject(parent), devices_(sources.devices), wireless_(sources.wireless), keyboardMouse_(sources.keyboardMouse),
      defaults_(defaults), updater_(updater),
      tray_(new TrayIcon(sources,
                         {[this] { showSettings(); }, [this] { showOnboarding(); }, [] { QApplication::quit(); },
                          [this] { showKeyboardMouseSetup(); },
                          [this] { return defaults_.value(QStringLiteral("hasSeenKeyboardMouseSetup")).toBool(); },
                          updater ? std::function<void()>([updater] { updater->checkForUpdates(); }) : nullptr},
                         this)),
      autostart_(LoginAutostart::defaultFolder(), QCoreApplication::applicationFilePath())
{
    connect(&keyboardMouse_, &SeamlessInputManager::setupWindowRequested, this, &LumarientApp::showKeyboardMouseSetup);
    if (updater_)
        updatePrompts_ = new UpdatePrompts(*updater_, this);
}

LumarientApp::~LumarientApp()
{
    delete settings_;
    delete onboarding_;
    delete keyboardMouseSetup_;
}

SettingsWindow *LumarientApp::settingsWindow() const
{
    return settings_;
}

OnboardingWindow *LumarientApp::onboardingWindow() const
{
    return onboarding_;
}

KeyboardMouseSetupWindow *LumarientApp::keyboardMouseSetupWindow() const
{
    return keyboardMouseSetup_;
}

void LumarientApp::launch()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        logLine(QStringLiteral("Lumarient"),
                QStringLiteral("This desktop shows no tray icons; the menu is unavailable until one does"));
    }
    tray_->show();
    if (!defaults_.value(QStringLiteral("hasCompletedOnboarding")).toBool())
        showOnboarding();
    if (updater_)
        updater_->start();
}

void LumarientApp::showSettings()
{
    if (!settings_) {
        settings_ = new SettingsWindow(devices_, autostart_, &keyboardMouse_);
        centre(*settings_);
    }
    settings_->present();
}

void LumarientApp::showOnboarding()
{
    if (!onboarding_) {
        onboarding_ = new OnboardingWindow(devices_, defaults_, [this](QWidget *over) {
            // A fresh sheet each time: it starts a new QR session.
            auto *sheet = new PairingDialog(devices_, wireless_, over);
            sheet->setAttribute(Qt::WA_DeleteOnClose);
            sheet->open();
        });
        centre(*onboarding_);
    }
    onboarding_->present();
}

void LumarientApp::showKeyboardMouseSetup()
{
    if (!keyboardMouseSetup_) {
        keyboardMouseSetup_ = new KeyboardMouseSetupWindow(keyboardMouse_, defaults_);
        centre(*keyboardMouseSetup_);
    }
    keyboardMouseSetup_->present();
}

void LumarientApp::bringForward()
{
    if (onboarding_ && onboarding_->isVisible())
        onboarding_->present();
    else
        showSettings();
}

} // namespace lumarient
