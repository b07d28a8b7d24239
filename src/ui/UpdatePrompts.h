#pragma once

#include "platform/PackageInstaller.h"
#include "updates/UpdateCheckResult.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

namespace lumarient {

class SoftwareUpdater;

// The updater's questions and answers as small dialogs: whether to check on its
// own, a verified update ready to install, and the outcome of a check the user
// asked for. Automatic checks stay silent unless there is an update.
class UpdatePrompts : public QObject {
    Q_OBJECT
public:
    explicit UpdatePrompts(SoftwareUpdater &updater, QObject *parent = nullptr);
    ~UpdatePrompts() override;

    // The dialog on screen, if any (for tests).
    QMessageBox *current() const { return box_; }

private:
    void askConsent();
    void showResult(const UpdateCheckResult &result, bool userInitiated);
    void showInstallOutcome(const PackageInstaller::Outcome &outcome);
    QMessageBox *present(QMessageBox *box);

    SoftwareUpdater &updater_;
    QPointer<QMessageBox> box_;
};

} // namespace lumarient
