#pragma once

#include "ui/MenuModel.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <initializer_list>

namespace lumarient {

class MenuActions;

// The running app on the session bus: the menu's state, with a signal whenever
// it changes, and a method for each of its actions, run through the same
// dispatch as the tray menu. Phone actions take the name of a configuration or
// phone and fail with a message when it is unknown, ambiguous, or the menu does
// not offer the action for that phone now.
class BusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.corvantil.Lumarient")
public:
    // `bringForward` shows the window the user most likely wants.
    BusService(MenuActions &actions, std::function<void()> bringForward, QObject *parent = nullptr);

    // Exports the object; the bus name is claimed separately (see BusName).
    bool registerOn(QDBusConnection bus);

    QVariantMap state() const;

public slots:
    Q_SCRIPTABLE QVariantMap GetState();

    Q_SCRIPTABLE void Mirror(const QString &name);
    Q_SCRIPTABLE void Desktop(const QString &name);
    Q_SCRIPTABLE void InvisibleDesktop(const QString &name);
    Q_SCRIPTABLE void SecondDisplay(const QString &name);
    Q_SCRIPTABLE void KeyboardMouse(const QString &name);
    Q_SCRIPTABLE void SwitchToWifi(const QString &name);
    // Ends whatever runs for the phone: its screen session, the second display
    // or keyboard and mouse sharing.
    Q_SCRIPTABLE void Stop(const QString &name);

    Q_SCRIPTABLE void Refresh();
    Q_SCRIPTABLE void Scan();
    // Pairs the phone offering a pairing code (`phone` may be empty when only
    // one does) and answers once it is connected or has failed.
    Q_SCRIPTABLE void Pair(const QString &code, const QString &phone);

    Q_SCRIPTABLE void ShowWindow();
    Q_SCRIPTABLE void ShowSettings();
    Q_SCRIPTABLE void ShowSetupGuide();
    Q_SCRIPTABLE void ShowKeyboardMouseSetup();
    Q_SCRIPTABLE void CheckForUpdates();
    Q_SCRIPTABLE void Quit();

signals:
    Q_SCRIPTABLE void StateChanged(const QVariantMap &state);

private:
    // Runs the first of `kinds` that the menu offers for the named phone.
    void runFor(const QString &name, std::initializer_list<MenuAction::Kind> kinds, const QString &label);
    void runGlobal(MenuAction::Kind kind, const QString &label);
    void publishIfChanged();
    void fail(const QString &errorName, const QString &message);

    MenuActions &actions_;
    std::function<void()> bringForward_;
    QTimer pendingPublish_;
    QVariantMap published_;
};

} // namespace lumarient
