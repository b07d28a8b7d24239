#pragma once

#include "devices/QRPairingSession.h"
#include "wireless/DiscoveredService.h"

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

// What a list of pairing services means for the active session.
struct Match {
    enum class Outcome {
        // Nothing announced under the session's name yet: keep waiting.
        waiting,
        // The session ran out: forget it.
        expired,
        // Pair with `service` and forget the session.
        pair,
    };
    Outcome outcome = Outcome::waiting;
    DiscoveredService service;
};

// Decides for `services` (a pairing browser's list) against `session` at `now`.
// Names must match exactly; the first service of that name wins.
Match match(const QRPairingSession &session, const QList<DiscoveredService> &services, const QDateTime &now);

} // namespace QRPairing
} // namespace lumarient
