#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace lumarient {

// One release in the update feed: what it is called, where its package is, and
// the signature its package must carry.
struct AppcastItem {
    QString title;
    // The machine version compared with the running one, and the one users read.
    QString version;
    QString shortVersion;
    QUrl releaseNotes;
    QUrl packageUrl;
    qint64 length = 0;
    // The raw 64-byte ed25519 signature of the whole package.
    QByteArray signature;

    QString displayVersion() const { return shortVersion.isEmpty() ? version : shortVersion; }
};

} // namespace lumarient
