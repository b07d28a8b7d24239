#pragma once

#include "model/QRPairingSession.h"
#include "model/DiscoveredService.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

namespace lumarient {

// The parts of pairing by QR code that need no manager: making a session, the
// text its QR code carries, and matching it against announced pairing services.
namespace QRPairing {

// How long a phone has to scan the code and announce itself.
inline constexpr std::chrono::seconds sessionLifetime{120};

// Upper-case letters without I and O, digits without 0 and 1: nothing a phone
// user could misread.
const QList<QChar> &qrPasswordAlphabet();

// A new session: "LUMARIENT-" and 8 hexadecimal digits of a random UUID, an
// 8-character password from the system's cryptographic random source, expiring
// `sessionLifetime` after `now`.
QRPairingSession makeSession(const QDateTime &now);

// "WIFI:T:ADB;S:<service name>;P:<password>;;"
QString payload(const QRPairingSession &session);

// The first service announced under exactly the session's name: the phone that
// scanned this session's code.
std::optional<DiscoveredService> matchingService(const QRPairingSession &session,
                                                 const QList<DiscoveredService> &services);

} // namespace QRPairing
} // namespace lumarient
