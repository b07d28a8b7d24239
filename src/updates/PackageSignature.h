#pragma once

#include <QByteArray>

namespace lumarient {

// Whether `signature` (64 bytes) is the ed25519 signature of `message` made with
// the private half of `publicKey` (32 bytes). Any malformed input is simply not
// a valid signature.
bool verifyPackageSignature(const QByteArray &publicKey, const QByteArray &message, const QByteArray &signature);

} // namespace lumarient
