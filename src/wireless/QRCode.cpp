#include "wireless/QRCode.h"

#include <qrencode.h>

#include <memory>

namespace lumarient::QRCode {
namespace {

std::optional<QByteArray> latin1(const QString &text)
{
    for (QChar character : text) {
        if (character.unicode() > 0xFF)
            return std::nullopt;
    }
    return text.toLatin1();
}

} // namespace

std::optional<QImage> image(const QString &text, int scale)
{
    const std::optional<QByteArray> bytes = latin1(text);
    // A scale large enough to overflow the image size is as unusable as 0.
    if (!bytes || scale < 1 || scale > 256)
        return std::nullopt;
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(int(bytes->size()), reinterpret_cast<const unsigned char *>(bytes->constData()), 0,
                          QR_ECLEVEL_M),
        &QRcode_free);
    if (!code)
        return std::nullopt;

    const int modules = code->width + 2 * quietZone;
    QImage picture(modules * scale, modules * scale, QImage::Format_Grayscale8);
    if (picture.isNull())
        return std::nullopt;
    picture.fill(0xFF);
    for (int row = 0; row < code->width; ++row) {
        for (int column = 0; column < code->width; ++column) {
            // Bit 0 of each module byte says whether it is dark.
            if ((code->data[row * code->width + column] & 1) == 0)
                continue;
            const int top = (row + quietZone) * scale;
            const int left = (column + quietZone) * scale;
            for (int y = top; y < top + scale; ++y)
                std::fill_n(picture.scanLine(y) + left, scale, uchar(0));
        }
    }
    return picture;
}

} // namespace lumarient::QRCode
