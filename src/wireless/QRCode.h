#pragma once

#include <QImage>
#include <QString>

#include <optional>

namespace lumarient {

// QR codes drawn as images, for the pairing sheet.
namespace QRCode {

// Modules of white margin around the symbol, so that scanners find its edges.
inline constexpr int quietZone = 4;

// The QR code (error-correction level M) of `text` encoded as ISO Latin-1, each
// module `scale` pixels wide with hard edges, black on white. None when the text
// has characters outside Latin-1, the scale is below 1, or the data does not fit
// a QR code.
std::optional<QImage> image(const QString &text, int scale);

} // namespace QRCode
} // namespace lumarient
