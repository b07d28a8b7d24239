#include "ui/LumarientApp.h"

#include "input/SeamlessInputManager.h"
#include "platform/Log.h"
#include "platform/LoginAutostart.h"
#include "platform/TrayHost.h"
#include "platform/UserDefaults.h"
#include "ui/ControlWindow.h"
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

// Windows fitted to their contents shrink to them first.
void centre(QWidget &window, bool fitContents = true)
{
    if (fitContents)
        window.adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

} // namespace

LumarientApp::LumarientApp(const MenuSources &sources, UserDefaults &defaults, SoftwareUpdater *updater,
                           TrayHost *trayHost, QObject *parent)
    : QObject(parent), devices_(sources.devices), wireless_(sources.wireless), keyboardMouse_(sources.keyboardMouse),
      defaults_(defaults), updater_(updater), trayHost_(trayHost),
      actions_(sources, {[this] { showSettings(); }, [this] { showOnboarding(); }, [] { QApplication::quit(); },
                         [this] { showKeyboardMouseSetup(); },
                         [this] { return defaults_.value(QStringLiteral("hasSeenKeyboardMouseSetup")).toBool(); },
                         updater ? std::function<void()>([updater] { updater->checkForUpdates(); }) : nullptr}),
      tray_(new TrayIcon(actions_, this)),
      autostart_(LoginAutostart::defaultFolder(), QCoreApplication::applicationFilePath())
{
    connect(&keyboardMouse_, &SeamlessInputManager::setupWindowRequested, this, &LumarientApp::showKeyboardMouseSetup);
    if (updater_)
        updatePrompts_ = new UpdatePrompts(*updater_, this);
}

LumarientApp::~LumarientApp()
{
    if (trayHost_)
        trayHost_->setChangeHandler(nullptr);
    delete settings_;
    delete onboarding_;
    delete keyboardMouseSetup_;
    delete control_;
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

ControlWindow *LumarientApp::controlWindow() const
{
    return control_;
}

bool LumarientApp::hasTray() const
{
    return (trayHost_ && trayHost_->isPresent()) || QSystemTrayIcon::isSystemTrayAvailable();
}

void LumarientApp::launch()
{
    if (trayHost_)
        trayHost_->setChangeHandler([this](bool present) { trayHostChanged(present); });
    const bool tray = hasTray();
    if (!tray) {
        logLine(QStringLiteral("Lumarient"),
                QStringLiteral("This desktop shows no tray icons; the Lumarient window stands in for the menu"));
    }
    tray_->show();
    if (!defaults_.value(QStringLiteral("hasCompletedOnboarding")).toBool())
        showOnboarding();
    else if (!tray)
        showControlWindow();
    if (updater_)
        updater_->start();
}

void LumarientApp::trayHostChanged(bool present)
{
    if (present) {
        logLine(QStringLiteral("Lumarient"), QStringLiteral("A tray host appeared; the menu is in the tray"));
        // The window stays as the user left it, and the application menu still brings it.
        tray_->show();
        return;
    }
    logLine(QStringLiteral("Lumarient"),
            QStringLiteral("The tray host went away; the Lumarient window stands in for the menu"));
    if (!(onboarding_ && onboarding_->isVisible()))
        showControlWindow();
}

void LumarientApp::onboardingClosed()
{
    if (!hasTray())
        showControlWindow();
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
        connect(onboarding_, &OnboardingWindow::closed, this, &LumarientApp::onboardingClosed);
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

void LumarientApp::showControlWindow()
{
    if (!control_) {
        control_ = new ControlWindow(actions_);
        // Its list scrolls: it keeps the size it chose rather than its contents' smallest.
        centre(*control_, false);
    }
    control_->present();
}

void LumarientApp::bringForward()
{
    if (onboarding_ && onboarding_->isVisible())
        onboarding_->present();
    else
        showControlWindow();
}

} // namespace lumarient
