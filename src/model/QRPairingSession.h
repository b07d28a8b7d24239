#pragma once

#include <QDateTime>
#include <QString>

namespace lumarient {

// One offer of wireless pairing by QR code.
struct QRPairingSession {
    QString serviceName;
    QString password;
    QDateTime expiresAt;

    bool operator==(const QRPairingSession &) const = default;
};

} // namespace lumarient
