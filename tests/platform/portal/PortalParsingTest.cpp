#include "platform/pipewire/PipeWireScreenCapture.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalStreams.h"

#include <QVariantMap>

#include <gtest/gtest.h>

#include <array>

using namespace lumarient;

TEST(PortalRequestPath, FollowsTheSenderAndTokenRule)
{
    struct Case {
        const char *sender;
        const char *token;
        const char *path;
    };
    const Case cases[] = {
        {":1.42", "lumarient1", "/org/freedesktop/portal/desktop/request/1_42/lumarient1"},
        {":1.2003", "t", "/org/freedesktop/portal/desktop/request/1_2003/t"},
        {":12.3.4", "x", "/org/freedesktop/portal/desktop/request/12_3_4/x"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(portal::requestObjectPath(QString::fromLatin1(c.sender), QString::fromLatin1(c.token)),
                  QString::fromLatin1(c.path))
            << c.sender;
    }
}

TEST(PortalStreams, AnythingButTheStreamListGivesNoStreams)
{
    const QVariant hostile[] = {
        QVariant(),
        QVariant(7),
        QVariant(QStringLiteral("a(ua{sv})")),
        QVariant(QVariantMap{{QStringLiteral("size"), 3}}),
        QVariant(QVariantList{1u, QVariantMap()}),
    };
    for (const QVariant &value : hostile) {
        EXPECT_TRUE(portal::parsePortalStreams(value).empty()) << value.typeName();
    }
}

TEST(PipeWirePixels, RedFirstRowsBecomeBlueFirstWithinTheirStrides)
{
    // Two rows of two pixels, RGBx with 4 bytes of padding per row.
    const std::array<std::uint8_t, 24> rgbx{1, 2,  3,  4,  5,  6,  7,  8,  0, 0, 0, 0,
                                            9, 10, 11, 12, 13, 14, 15, 16, 0, 0, 0, 0};
    std::array<std::uint8_t, 16> bgrx{};
    pipewire::swapRedBlue(rgbx.data(), 12, bgrx.data(), 8, 2, 2);
    const std::array<std::uint8_t, 16> expected{3, 2, 1, 4, 7, 6, 5, 8, 11, 10, 9, 12, 15, 14, 13, 16};
    EXPECT_EQ(bgrx, expected);
}
