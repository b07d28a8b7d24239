#pragma once

#include "platform/PackageInstaller.h"
#include "updates/UpdateCheckResult.h"
#include "updates/UpdateChecker.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>

namespace lumarient {

class UserDefaults;

// The updater the app starts with: daily checks once the user agreed, checks on
// request from the menu, and installing a verified package through the desktop's
// package service (or showing it in its folder where there is none).
class SoftwareUpdater : public QObject {
    Q_OBJECT
public:
    struct Platform {
        PackageInstaller *installer = nullptr;
        // Shows a folder in the file manager.
        std::function<void(const QString &folder)> showFolder;
        std::function<QDateTime()> now = [] { return QDateTime::currentDateTimeUtc(); };
    };

    // Settings keys.
    static const QString automaticKey;
    static const QString lastCheckKey;
    static const QString launchCountKey;
    static const QString feedKey;

    SoftwareUpdater(UpdateChecker::Settings settings, UserDefaults &defaults, Platform platform,
                    QObject *parent = nullptr);

    // Counts this launch and asks for consent, checks, or schedules the next check.
    void start();
    // The menu's "Check for Updates…": a check whose every outcome is shown.
    void checkForUpdates();
    void setAutomaticChecks(bool automatic);
    void install(const QString &packagePath);

    bool isChecking() const { return checker_.isChecking(); }
    // When the next automatic check will run, if one is scheduled.
    std::optional<QDateTime> nextAutomaticCheck() const;

signals:
    void consentNeeded();
    // `userInitiated` tells whether the user asked: automatic checks only
    // interrupt with a ready update.
    void checkFinished(const lumarient::UpdateCheckResult &result, bool userInitiated);
    void installFinished(const lumarient::PackageInstaller::Outcome &outcome);

private:
    void schedule();
    void checkFinishedInternally(const UpdateCheckResult &result);

    UserDefaults &defaults_;
    Platform platform_;
    UpdateChecker checker_;
    QTimer timer_;
    bool userAsked_ = false;
};

} // namespace lumarient
