#include "wireless/QRPairing.h"
#include "wireless/QRCode.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include <zbar.h>

#include <memory>

using namespace lumarient;

namespace {

const QDateTime start = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

// Reads every QR code in `picture` back with zbar, as a phone's camera would.
QStringList decode(const QImage &picture)
{
    const QImage gray = picture.convertToFormat(QImage::Format_Grayscale8);
    QByteArray pixels;
    for (int y = 0; y < gray.height(); ++y)
        pixels.append(reinterpret_cast<const char *>(gray.constScanLine(y)), gray.width());

    std::unique_ptr<zbar::zbar_image_scanner_t, decltype(&zbar::zbar_image_scanner_destroy)> scanner(
        zbar::zbar_image_scanner_create(), &zbar::zbar_image_scanner_destroy);
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    std::unique_ptr<zbar::zbar_image_t, decltype(&zbar::zbar_image_destroy)> image(zbar::zbar_image_create(),
                                                                                   &zbar::zbar_image_destroy);
    zbar::zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
    zbar::zbar_image_set_size(image.get(), unsigned(gray.width()), unsigned(gray.height()));
    zbar::zbar_image_set_data(image.get(), pixels.constData(), unsigned(pixels.size()), nullptr);
    zbar::zbar_scan_image(scanner.get(), image.get());

    QStringList texts;
    for (const zbar::zbar_symbol_t *symbol = zbar::zbar_image_first_symbol(image.get()); symbol != nullptr;
         symbol = zbar::zbar_symbol_next(symbol)) {
        texts.append(
            QString::fromUtf8(zbar::zbar_symbol_get_data(symbol), int(zbar::zbar_symbol_get_data_length(symbol))));
    }
    return texts;
}

DiscoveredService service(const QString &name, const QString &host = QStringLiteral("192.168.1.40"), int port = 37001)
{
    return {name, name, host, port};
}

} // namespace

TEST(QRPairingSessionTest, SessionsHaveTheRightShapeAndLifetime)
{
    const QRegularExpression serviceName(QStringLiteral("^LUMARIENT-[0-9A-F]{8}$"));
    QSet<QString> names;
    QSet<QString> passwords;
    for (int i = 0; i < 500; ++i) {
        const QRPairingSession session = QRPairing::makeSession(start);
        EXPECT_TRUE(serviceName.match(session.serviceName).hasMatch()) << session.serviceName.toStdString();
        ASSERT_EQ(session.password.size(), 8);
        for (QChar character : session.password) {
            EXPECT_TRUE(QRPairing::qrPasswordAlphabet().contains(character));
            EXPECT_FALSE(QStringLiteral("IO01").contains(character)) << session.password.toStdString();
        }
        EXPECT_EQ(session.expiresAt, start.addSecs(120));
        names.insert(session.serviceName);
        passwords.insert(session.password);
    }
    // 32^8 passwords and 16^8 names: repeats within 500 would mean a broken source.
    EXPECT_EQ(passwords.size(), 500);
    EXPECT_GE(names.size(), 499);
}

TEST(QRPairingSessionTest, PayloadIsTheWifiAdbText)
{
    const QRPairingSession session{QStringLiteral("LUMARIENT-0A1B2C3D"), QStringLiteral("K7PQ2MZX"), start};
    EXPECT_EQ(QRPairing::payload(session), QStringLiteral("WIFI:T:ADB;S:LUMARIENT-0A1B2C3D;P:K7PQ2MZX;;"));
}

TEST(QRPairingSessionTest, OnlyTheExactNameMatchesAndTheFirstWins)
{
    const QRPairingSession session{QStringLiteral("LUMARIENT-0A1B2C3D"), QStringLiteral("K7PQ2MZX"),
                                   start.addSecs(120)};
    EXPECT_EQ(QRPairing::matchingService(session, {}), std::nullopt);
    EXPECT_EQ(QRPairing::matchingService(session, {service(QStringLiteral("LUMARIENT-0A1B2C3D-2")),
                                                   service(QStringLiteral("lumarient-0a1b2c3d")),
                                                   service(QStringLiteral("LUMARIENT-0A1B2C3")),
                                                   service(QStringLiteral(" LUMARIENT-0A1B2C3D"))}),
              std::nullopt);

    const QList<DiscoveredService> announced{
        service(QStringLiteral("adb-R58M-abc")),
        service(QStringLiteral("LUMARIENT-0A1B2C3D"), QStringLiteral("10.0.0.5"), 40123),
        service(QStringLiteral("LUMARIENT-0A1B2C3D"), QStringLiteral("10.0.0.6"), 40124)};
    EXPECT_EQ(QRPairing::matchingService(session, announced), announced[1]);
}

TEST(QRCodeTest, ImageDecodesBackToThePayload)
{
    const QRPairingSession session = QRPairing::makeSession(start);
    const QString payload = QRPairing::payload(session);
    const std::optional<QImage> picture = QRCode::image(payload, 8);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width(), picture->height());
    EXPECT_EQ(picture->width() % 8, 0);
    EXPECT_EQ(decode(*picture), QStringList{payload});
}

TEST(QRCodeTest, ModulesHaveHardEdges)
{
    const std::optional<QImage> picture = QRCode::image(QStringLiteral("WIFI:T:ADB;S:X;P:Y;;"), 8);
    ASSERT_TRUE(picture);
    // Every pixel is pure black or white, and every 8x8 block is one colour.
    for (int y = 0; y < picture->height(); ++y) {
        for (int x = 0; x < picture->width(); ++x) {
            const int value = qGray(picture->pixel(x, y));
            ASSERT_TRUE(value == 0 || value == 255);
            ASSERT_EQ(value, qGray(picture->pixel(x - x % 8, y - y % 8)));
        }
    }
    // The quiet zone is white.
    EXPECT_EQ(qGray(picture->pixel(0, 0)), 255);
    EXPECT_EQ(qGray(picture->pixel(QRCode::quietZone * 8, QRCode::quietZone * 8)), 0);
}

TEST(QRCodeTest, LatinOneTextIsEncodedOtherTextIsRefused)
{
    const std::optional<QImage> latin = QRCode::image(QStringLiteral("caf\u00e9 \u00fc"), 4);
    ASSERT_TRUE(latin);
    EXPECT_EQ(decode(*latin), QStringList{QStringLiteral("caf\u00e9 \u00fc")});

    EXPECT_EQ(QRCode::image(QStringLiteral("\u20ac"), 8), std::nullopt);
    EXPECT_EQ(QRCode::image(QStringLiteral("\U0001F600"), 8), std::nullopt);
}

TEST(QRCodeTest, UnusableScalesAndOversizedDataGiveNoImage)
{
    EXPECT_EQ(QRCode::image(QStringLiteral("x"), 0), std::nullopt);
    EXPECT_EQ(QRCode::image(QStringLiteral("x"), -8), std::nullopt);
    EXPECT_EQ(QRCode::image(QStringLiteral("x"), 1 << 20), std::nullopt);
    // More than a version-40 code can hold at level M.
    EXPECT_EQ(QRCode::image(QString(3000, QLatin1Char('a')), 1), std::nullopt);
    ASSERT_TRUE(QRCode::image(QStringLiteral("x"), 1));
}
