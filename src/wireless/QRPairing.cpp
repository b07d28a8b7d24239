#include "wireless/QRPairing.h"

#include <QRandomGenerator>
#include <QUuid>

namespace lumarient::QRPairing {

const QList<QChar> &qrPasswordAlphabet()
{
    static const QList<QChar> alphabet = [] {
        QList<QChar> characters;
        for (QChar character : QStringLiteral("ABCDEFGHJKLMNPQRSTUVWXYZ23456789"))
            characters.append(character);
        return characters;
    }();
    return alphabet;
}

QRPairingSession makeSession(const QDateTime &now)
{
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    QString password;
    const QList<QChar> &alphabet = qrPasswordAlphabet();
    // The system generator reads the kernel's cryptographic source.
    QRandomGenerator *random = QRandomGenerator::system();
    for (int i = 0; i < 8; ++i)
        password.append(alphabet[random->bounded(int(alphabet.size()))]);
    return {QStringLiteral("LUMARIENT-") + uuid.left(8), password, now.addSecs(sessionLifetime.count())};
}

QString payload(const QRPairingSession &session)
{
    return QStringLiteral("WIFI:T:ADB;S:") + session.serviceName + QStringLiteral(";P:") + session.password +
           QStringLiteral(";;");
}

std::optional<DiscoveredService> matchingService(const QRPairingSession &session,
                                                 const QList<DiscoveredService> &services)
{
    for (const DiscoveredService &service : services) {
        if (service.name == session.serviceName)
            return service;
    }
    return std::nullopt;
}

} // namespace lumarient::QRPairing
