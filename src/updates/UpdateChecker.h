#pragma once

#include "updates/UpdateCheckResult.h"

#include <QByteArray>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

namespace lumarient {

// One check: fetch the feed, pick the newest release newer than this one,
// download its package and accept it only when its length and ed25519 signature
// match. Nothing unverified is ever kept under the package's final name.
class UpdateChecker : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QUrl feed;
        QString currentVersion;
        // The raw 32-byte public key the release packages are signed with.
        QByteArray publicKey;
        QString downloadFolder;
    };

    static constexpr qint64 maximumFeedBytes = 1 << 20;
    static constexpr qint64 maximumPackageBytes = qint64(512) << 20;
    static constexpr int transferTimeoutMs = 30'000;

    explicit UpdateChecker(Settings settings, QObject *parent = nullptr);
    ~UpdateChecker() override;

    // Starts a check unless one runs; `finished` tells its end.
    void check();
    bool isChecking() const { return reply_ != nullptr; }
    const Settings &settings() const { return settings_; }
    void setFeed(const QUrl &feed) { settings_.feed = feed; }

signals:
    void finished(const lumarient::UpdateCheckResult &result);

private:
    void feedArrived();
    void download(const AppcastItem &item);
    void packageArrived();
    void finish(UpdateCheckResult result);
    void fail(const QString &message);
    QNetworkReply *get(const QUrl &url);

    Settings settings_;
    // Made at the first check: most runs of the app never fetch anything.
    std::unique_ptr<QNetworkAccessManager> network_;
    QPointer<QNetworkReply> reply_;
    AppcastItem item_;
    std::unique_ptr<QFile> partial_;
    bool tooLarge_ = false;
};

} // namespace lumarient
