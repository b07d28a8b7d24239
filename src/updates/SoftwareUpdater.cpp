#include "updates/SoftwareUpdater.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "updates/UpdateSchedule.h"

#include <QFileInfo>
#include <QPointer>

#include <algorithm>

namespace lumarient {
namespace {

std::optional<bool> storedBool(const UserDefaults &defaults, const QString &key)
{
    const QVariant value = defaults.value(key);
    if (!value.isValid())
        return std::nullopt;
    return value.toBool();
}

} // namespace

const QString SoftwareUpdater::automaticKey = QStringLiteral("automaticallyCheckForUpdates");
const QString SoftwareUpdater::lastCheckKey = QStringLiteral("lastUpdateCheckTime");
const QString SoftwareUpdater::launchCountKey = QStringLiteral("updateLaunchCount");
const QString SoftwareUpdater::feedKey = QStringLiteral("updateFeedURL");

SoftwareUpdater::SoftwareUpdater(UpdateChecker::Settings settings, UserDefaults &defaults, Platform platform,
                                 QObject *parent)
    : QObject(parent), defaults_(defaults), platform_(std::move(platform)), checker_(std::move(settings))
{
    // The settings file may point at another feed (a test channel, a mirror).
    if (const QUrl feed(defaults_.string(feedKey), QUrl::StrictMode); feed.isValid() && !feed.isEmpty())
        checker_.setFeed(feed);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { checker_.check(); });
    connect(&checker_, &UpdateChecker::finished, this, &SoftwareUpdater::checkFinishedInternally);
}

void SoftwareUpdater::start()
{
    const int launches = std::max(0, defaults_.value(launchCountKey).toInt()) + 1;
    defaults_.setValue(launchCountKey, launches);
    const std::optional<bool> automatic = storedBool(defaults_, automaticKey);
    if (!automatic && launches >= UpdateSchedule::askFromLaunch)
        emit consentNeeded();
    schedule();
}

std::optional<QDateTime> SoftwareUpdater::nextAutomaticCheck() const
{
    if (!timer_.isActive())
        return std::nullopt;
    return platform_.now().addMSecs(timer_.remainingTime());
}

void SoftwareUpdater::schedule()
{
    timer_.stop();
    const QVariant stored = defaults_.value(lastCheckKey);
    const std::optional<QDateTime> lastCheck =
        stored.isValid() ? std::optional(QDateTime::fromString(stored.toString(), Qt::ISODate)) : std::nullopt;
    const QDateTime now = platform_.now();
    switch (UpdateSchedule::next(defaults_.value(launchCountKey).toInt(), storedBool(defaults_, automaticKey),
                                 lastCheck, now)) {
    case UpdateSchedule::Step::nothing:
    case UpdateSchedule::Step::askConsent:
        return;
    case UpdateSchedule::Step::checkNow:
        checker_.check();
        return;
    case UpdateSchedule::Step::checkLater:
        timer_.start(std::chrono::milliseconds(now.msecsTo(UpdateSchedule::dueAt(lastCheck, now))));
        return;
    }
}

void SoftwareUpdater::checkForUpdates()
{
    userAsked_ = true;
    checker_.check();
}

void SoftwareUpdater::setAutomaticChecks(bool automatic)
{
    defaults_.setValue(automaticKey, automatic);
    schedule();
}

void SoftwareUpdater::checkFinishedInternally(const UpdateCheckResult &result)
{
    const bool userInitiated = std::exchange(userAsked_, false);
    // A failed check counts too, so an unreachable server is asked once a day, not at every start.
    defaults_.setValue(lastCheckKey, platform_.now().toString(Qt::ISODate));
    if (result.kind == UpdateCheckResult::Kind::failed)
        logLine(QStringLiteral("Updates"), result.message);
    emit checkFinished(result, userInitiated);
    schedule();
}

void SoftwareUpdater::install(const QString &packagePath)
{
    // The service may answer after this updater is gone (the app quitting).
    const auto offerFile = [self = QPointer(this), packagePath](PackageInstaller::Outcome outcome) {
        if (!self)
            return;
        if (outcome.serviceMissing && self->platform_.showFolder)
            self->platform_.showFolder(QFileInfo(packagePath).absolutePath());
        emit self->installFinished(outcome);
    };
    if (!platform_.installer) {
        offerFile({false, true, {}});
        return;
    }
    platform_.installer->install(packagePath, [offerFile](PackageInstaller::Outcome outcome) {
        if (!outcome.installed && !outcome.serviceMissing)
            logLine(QStringLiteral("Updates"), outcome.message);
        offerFile(std::move(outcome));
    });
}

} // namespace lumarient
