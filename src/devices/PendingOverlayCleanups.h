#pragma once

#include <QSet>
#include <QString>

#include <optional>
#include <vector>

namespace lumarient {

class ADB;
class Companion;
class UserDefaults;

// Phone models whose desktop overlay display could not be removed, kept in the
// settings ("pendingOverlayCleanups") so that a later refresh removes it, even
// after a restart.
class PendingOverlayCleanups {
public:
    explicit PendingOverlayCleanups(UserDefaults &defaults);

    const QSet<QString> &models() const { return models_; }
    void remember(const QString &model);
    // Forgets `model`; returns whether it was pending.
    bool take(const QString &model);

    // A desktop session still open when the app quits.
    struct OpenDesktop {
        QString model;
        // The phone serving it, when one is connected.
        std::optional<QString> serial;
    };
    // Ends the sessions on their phones and removes their overlays, all at once,
    // and waits for them; an overlay that stays is remembered.
    void removeAtQuit(const std::vector<OpenDesktop> &desktops, const ADB &adb, const Companion &companion);

private:
    void store();

    UserDefaults &defaults_;
    QSet<QString> models_;
};

} // namespace lumarient
