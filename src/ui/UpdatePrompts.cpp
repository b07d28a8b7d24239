#include "ui/UpdatePrompts.h"

#include "updates/SoftwareUpdater.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace lumarient {

UpdatePrompts::UpdatePrompts(SoftwareUpdater &updater, QObject *parent) : QObject(parent), updater_(updater)
{
    connect(&updater_, &SoftwareUpdater::consentNeeded, this, &UpdatePrompts::askConsent);
    connect(&updater_, &SoftwareUpdater::checkFinished, this, &UpdatePrompts::showResult);
    connect(&updater_, &SoftwareUpdater::installFinished, this, &UpdatePrompts::showInstallOutcome);
}

UpdatePrompts::~UpdatePrompts()
{
    delete box_;
}

QMessageBox *UpdatePrompts::present(QMessageBox *box)
{
    // One question at a time: a newer one replaces the one still open.
    delete box_;
    box_ = box;
    box->setWindowTitle(QStringLiteral("Lumarient"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    box->raise();
    box->activateWindow();
    return box;
}

void UpdatePrompts::askConsent()
{
    auto *box = new QMessageBox(QMessageBox::Question, QString(), QStringLiteral("Check for updates automatically?"),
                                QMessageBox::NoButton);
    box->setInformativeText(QStringLiteral("Lumarient can look for a newer version once a day. You can always check "
                                           "yourself with “Check for Updates…” in its menu."));
    QPushButton *yes = box->addButton(QStringLiteral("Check Automatically"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("Don't Check"), QMessageBox::RejectRole);
    box->setDefaultButton(yes);
    connect(box, &QMessageBox::buttonClicked, this,
            [this, yes](QAbstractButton *button) { updater_.setAutomaticChecks(button == yes); });
    present(box);
}

void UpdatePrompts::showResult(const UpdateCheckResult &result, bool userInitiated)
{
    switch (result.kind) {
    case UpdateCheckResult::Kind::ready: {
        auto *box = new QMessageBox(
            QMessageBox::Information, QString(),
            QStringLiteral("Lumarient %1 is available").arg(result.item.displayVersion().toHtmlEscaped()),
            QMessageBox::NoButton);
        QString details = QStringLiteral("You have version %1. The new version has been downloaded and its signature "
                                         "checked.")
                              .arg(QApplication::applicationVersion().toHtmlEscaped());
        if (result.item.releaseNotes.isValid() && !result.item.releaseNotes.isEmpty())
            details += QStringLiteral(" <a href=\"%1\">What's new</a>")
                           .arg(result.item.releaseNotes.toString(QUrl::FullyEncoded).toHtmlEscaped());
        box->setTextFormat(Qt::RichText);
        box->setInformativeText(details);
        box->setTextInteractionFlags(Qt::TextBrowserInteraction);
        QPushButton *install = box->addButton(QStringLiteral("Install Update"), QMessageBox::AcceptRole);
        box->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
        box->setDefaultButton(install);
        const QString path = result.packagePath;
        connect(box, &QMessageBox::buttonClicked, this, [this, install, path](QAbstractButton *button) {
            if (button == install)
                updater_.install(path);
        });
        present(box);
        return;
    }
    case UpdateCheckResult::Kind::upToDate:
        if (userInitiated)
            present(new QMessageBox(QMessageBox::Information, QString(), QStringLiteral("You're up to date"),
                                    QMessageBox::Ok))
                ->setInformativeText(result.message);
        return;
    case UpdateCheckResult::Kind::failed:
        if (userInitiated)
            present(new QMessageBox(QMessageBox::Warning, QString(), QStringLiteral("Could not check for updates"),
                                    QMessageBox::Ok))
                ->setInformativeText(result.message);
        return;
    }
}

void UpdatePrompts::showInstallOutcome(const PackageInstaller::Outcome &outcome)
{
    if (outcome.installed) {
        present(new QMessageBox(QMessageBox::Information, QString(), QStringLiteral("The update is installed"),
                                QMessageBox::Ok))
            ->setInformativeText(QStringLiteral("Quit Lumarient and start it again to use the new version."));
    } else if (outcome.serviceMissing) {
        present(new QMessageBox(QMessageBox::Information, QString(), QStringLiteral("Install the update yourself"),
                                QMessageBox::Ok))
            ->setInformativeText(QStringLiteral("This computer has no software installation service. The verified "
                                                "package is in the folder that has just opened; install it with your "
                                                "package manager."));
    } else {
        present(new QMessageBox(QMessageBox::Warning, QString(), QStringLiteral("The update was not installed"),
                                QMessageBox::Ok))
            ->setInformativeText(outcome.message);
    }
}

} // namespace lumarient
