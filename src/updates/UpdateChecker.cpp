#include "updates/UpdateChecker.h"

#include "updates/Appcast.h"
#include "updates/PackageSignature.h"

#include <QDir>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace lumarient {
namespace {

QString packageFileName(const QString &version)
{
    QString safe = version;
    safe.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.+~-]")), QStringLiteral("_"));
    if (safe.isEmpty() || safe.startsWith(u'.'))
        safe.prepend(u'v');
    return QStringLiteral("lumarient-%1.deb").arg(safe.left(64));
}

} // namespace

UpdateChecker::UpdateChecker(Settings settings, QObject *parent) : QObject(parent), settings_(std::move(settings))
{
}

UpdateChecker::~UpdateChecker()
{
    if (reply_)
        reply_->abort();
    if (partial_)
        partial_->remove();
}

QNetworkReply *UpdateChecker::get(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Lumarient/%1").arg(settings_.currentVersion));
    if (!network_)
        network_ = std::make_unique<QNetworkAccessManager>();
    return network_->get(request);
}

void UpdateChecker::check()
{
    if (reply_)
        return;
    if (!settings_.feed.isValid() || settings_.feed.isEmpty()) {
        fail(QStringLiteral("No update feed is set."));
        return;
    }
    tooLarge_ = false;
    reply_ = get(settings_.feed);
    connect(reply_, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > maximumFeedBytes && reply_) {
            tooLarge_ = true;
            reply_->abort();
        }
    });
    connect(reply_, &QNetworkReply::finished, this, &UpdateChecker::feedArrived);
}

void UpdateChecker::feedArrived()
{
    QNetworkReply *reply = reply_;
    reply_ = nullptr;
    reply->deleteLater();
    if (tooLarge_) {
        fail(QStringLiteral("The update feed is larger than any feed should be; nothing was installed."));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        fail(QStringLiteral("Lumarient could not reach the update server (%1).").arg(reply->errorString()));
        return;
    }
    QString error;
    const std::optional<QList<AppcastItem>> items = parseAppcast(reply->readAll(), &error);
    if (!items) {
        fail(QStringLiteral("The update feed could not be read (%1).").arg(error));
        return;
    }
    const std::optional<AppcastItem> newest = newestNewerThan(*items, settings_.currentVersion);
    if (!newest) {
        finish({UpdateCheckResult::Kind::upToDate,
                {},
                {},
                QStringLiteral("Lumarient %1 is the newest version.").arg(settings_.currentVersion)});
        return;
    }
    download(*newest);
}

void UpdateChecker::download(const AppcastItem &item)
{
    if (item.length > maximumPackageBytes) {
        fail(QStringLiteral("The update is larger than any Lumarient package should be; nothing was downloaded."));
        return;
    }
    if (!QDir().mkpath(settings_.downloadFolder)) {
        fail(QStringLiteral("The folder for downloaded updates could not be made: %1").arg(settings_.downloadFolder));
        return;
    }
    item_ = item;
    partial_ =
        std::make_unique<QFile>(QDir(settings_.downloadFolder).filePath(packageFileName(item.version) + ".part"));
    if (!partial_->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QString reason = partial_->errorString();
        partial_.reset();
        fail(QStringLiteral("The update could not be saved (%1).").arg(reason));
        return;
    }
    tooLarge_ = false;
    reply_ = get(item.packageUrl);
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
        if (!reply_ || !partial_)
            return;
        const QByteArray chunk = reply_->readAll();
        // A server that sends more than the feed promised is not sending our package.
        if (partial_->size() + chunk.size() > item_.length) {
            tooLarge_ = true;
            reply_->abort();
            return;
        }
        partial_->write(chunk);
    });
    connect(reply_, &QNetworkReply::finished, this, &UpdateChecker::packageArrived);
}

void UpdateChecker::packageArrived()
{
    QNetworkReply *reply = reply_;
    reply_ = nullptr;
    reply->deleteLater();
    if (!tooLarge_ && reply->error() == QNetworkReply::NoError) {
        const QByteArray rest = reply->readAll();
        if (partial_->size() + rest.size() > item_.length)
            tooLarge_ = true;
        else
            partial_->write(rest);
    }
    const bool written = partial_->flush();
    const qint64 size = partial_->size();
    partial_->close();
    const auto discard = [this](const QString &message) {
        partial_->remove();
        partial_.reset();
        fail(message);
    };
    if (!tooLarge_ && reply->error() != QNetworkReply::NoError) {
        discard(QStringLiteral("The update could not be downloaded (%1).").arg(reply->errorString()));
        return;
    }
    if (!written) {
        discard(QStringLiteral("The update could not be saved (%1).").arg(partial_->errorString()));
        return;
    }
    if (tooLarge_ || size != item_.length) {
        discard(QStringLiteral("The downloaded update has %1 bytes instead of the %2 announced; nothing was installed.")
                    .arg(tooLarge_ ? QStringLiteral("more than %1").arg(item_.length) : QString::number(size))
                    .arg(item_.length));
        return;
    }
    if (!partial_->open(QIODevice::ReadOnly)) {
        discard(QStringLiteral("The update could not be read back (%1).").arg(partial_->errorString()));
        return;
    }
    const QByteArray package = partial_->readAll();
    partial_->close();
    if (!verifyPackageSignature(settings_.publicKey, package, item_.signature)) {
        discard(QStringLiteral("The downloaded update does not carry Lumarient's signature; nothing was installed."));
        return;
    }
    const QString finalPath = QDir(settings_.downloadFolder).filePath(packageFileName(item_.version));
    QFile::remove(finalPath);
    if (!partial_->rename(finalPath)) {
        discard(QStringLiteral("The update could not be saved (%1).").arg(partial_->errorString()));
        return;
    }
    partial_.reset();
    finish({UpdateCheckResult::Kind::ready, item_, finalPath, {}});
}

void UpdateChecker::fail(const QString &message)
{
    finish({UpdateCheckResult::Kind::failed, {}, {}, message});
}

void UpdateChecker::finish(UpdateCheckResult result)
{
    emit finished(result);
}

} // namespace lumarient
