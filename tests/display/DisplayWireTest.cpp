#include "display/DisplayWire.h"

#include <gtest/gtest.h>

#include <random>

using namespace lumarient;
using namespace lumarient::DisplayWire;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int value : values) {
        out.append(char(value));
    }
    return out;
}

// A touch down at (0.25, 0.75), as the phone sends it.
const QByteArray touchDown = bytes({'t', 0, 0x3E, 0x80, 0, 0, 0x3F, 0x40, 0, 0});

} // namespace

TEST(DisplayWirePackets, ConfigFrameAndCursorPacketsHaveTheirExactLayout)
{
    const QByteArray config = framed(configBody({bytes({0x67, 0x64}), bytes({0x68, 0xEE})}));
    EXPECT_EQ(config, bytes({0, 0, 0, 13, 0x00, 0, 0, 0, 1, 0x67, 0x64, 0, 0, 0, 1, 0x68, 0xEE}));

    const QByteArray frame = framed(frameBody(0x01020304, bytes({0, 0, 0, 1, 0x65})));
    EXPECT_EQ(frame, bytes({0, 0, 0, 10, 0x01, 1, 2, 3, 4, 0, 0, 0, 1, 0x65}));

    const QByteArray cursor = cursorBody(0.5f, 1.0f);
    EXPECT_EQ(cursor, bytes({0x02, 0x3F, 0x00, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00}));
}

TEST(DisplayWireAnnexB, StartCodesBecomeFourBytesAndParameterSetsComeSpsFirst)
{
    // Three-byte and four-byte start codes mixed, as encoders write them.
    const QByteArray mixed = bytes({0, 0, 1, 0x68, 0xAA, 0, 0, 0, 1, 0x67, 0xBB, 0xCC, 0, 0, 1, 0x65, 0x01});
    EXPECT_EQ(withFourByteStartCodes(mixed),
              bytes({0, 0, 0, 1, 0x68, 0xAA, 0, 0, 0, 1, 0x67, 0xBB, 0xCC, 0, 0, 0, 1, 0x65, 0x01}));
    const std::vector<QByteArray> sets = parameterSets(mixed);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0], bytes({0x67, 0xBB, 0xCC}));
    EXPECT_EQ(sets[1], bytes({0x68, 0xAA}));

    EXPECT_TRUE(parameterSets(bytes({0, 0, 1, 0x67, 0x01})).empty()) << "no PPS";
    EXPECT_TRUE(nalUnits(bytes({0x12, 0x34})).empty()) << "no start code";
    EXPECT_TRUE(nalUnits(QByteArray()).empty());
    EXPECT_TRUE(nalUnits(bytes({0, 0, 1})).empty()) << "start code without payload";
}

TEST(DisplayWireUdp, ChunksSplitAt1400BytesWithNineByteHeaders)
{
    const std::vector<QByteArray> one = udpChunks(7, true, QByteArray(1400, 'a'));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].size(), 1409);
    EXPECT_EQ(one[0].left(9), bytes({0, 0, 0, 7, 0, 0, 0, 1, 1}));

    const std::vector<QByteArray> two = udpChunks(0xFFFFFFFF, false, QByteArray(1401, 'b'));
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].size(), 1409);
    EXPECT_EQ(two[1].size(), 10);
    EXPECT_EQ(two[1].left(9), bytes({0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 0, 2, 0}));

    EXPECT_TRUE(udpChunks(1, false, QByteArray()).empty());
    EXPECT_TRUE(udpChunks(1, false, QByteArray(65535 * 1400 + 1, 'c')).empty()) << "more than 65,535 chunks";
    EXPECT_EQ(udpChunks(1, false, QByteArray(65535 * 1400, 'c')).size(), 65535u);
}

TEST(DisplayWirePhoneMessages, EachKindDecodesAndMalformedOnesAreRejected)
{
    EXPECT_EQ(parsePhoneMessage(QByteArray(1, 'U'))->kind, PhoneMessage::Kind::udpConfirmed);
    EXPECT_EQ(parsePhoneMessage(QByteArray(1, 'k'))->kind, PhoneMessage::Kind::keyframeRequest);
    EXPECT_EQ(parsePhoneMessage(QByteArray(1, 'z'))->kind, PhoneMessage::Kind::other);
    EXPECT_FALSE(parsePhoneMessage(QByteArray()));

    const std::optional<PhoneMessage> touch = parsePhoneMessage(touchDown);
    ASSERT_TRUE(touch);
    EXPECT_EQ(touch->kind, PhoneMessage::Kind::touch);
    EXPECT_EQ(touch->action, 0);
    EXPECT_FLOAT_EQ(touch->x, 0.25f);
    EXPECT_FLOAT_EQ(touch->y, 0.75f);
    EXPECT_FALSE(parsePhoneMessage(touchDown.left(9))) << "a short touch is ignored";

    const std::optional<PhoneMessage> udp = parsePhoneMessage(bytes({'u', 0x9C, 0x40}) + "192.0.2.5");
    ASSERT_TRUE(udp);
    EXPECT_EQ(udp->kind, PhoneMessage::Kind::udpReady);
    EXPECT_EQ(udp->port, 40000);
    EXPECT_EQ(udp->host, QStringLiteral("192.0.2.5"));
    EXPECT_FALSE(parsePhoneMessage(bytes({'u', 0x9C, 0x40}))) << "empty host";
    EXPECT_FALSE(parsePhoneMessage(bytes({'u', 0x9C})));
    EXPECT_FALSE(parsePhoneMessage(bytes({'u', 0x9C, 0x40, 0xFF, 0xFE}))) << "host is not UTF-8";
}

TEST(DisplayWirePhoneMessages, ReaderSkipsBadLengthsWithoutReadingTheirBodies)
{
    PhoneMessageReader reader;
    QByteArray stream;
    stream += bytes({0, 0, 0, 0});        // length 0: skipped
    stream += bytes({0, 0, 0, 65});       // length 65: skipped, body not read
    stream += framed(QByteArray(1, 'k')); // a good message right after
    stream += bytes({0xFF, 0xFF, 0xFF, 0xFF});
    stream += framed(touchDown);
    stream += framed(QByteArray(64, 'U')); // the largest allowed
    // Fed one byte at a time, as a slow link delivers it.
    std::vector<QByteArray> bodies;
    for (char byte : stream) {
        reader.append(&byte, 1);
        while (std::optional<QByteArray> body = reader.next()) {
            bodies.push_back(*body);
        }
    }
    ASSERT_EQ(bodies.size(), 3u);
    EXPECT_EQ(bodies[0], QByteArray(1, 'k'));
    EXPECT_EQ(bodies[1], touchDown);
    EXPECT_EQ(bodies[2].size(), 64);
}

TEST(DisplayWireHostileInput, RandomBytesNeverCrashTheParsers)
{
    std::mt19937 random(1234);
    PhoneMessageReader messages;
    for (int round = 0; round < 2000; ++round) {
        QByteArray noise(int(random() % 80), Qt::Uninitialized);
        for (char &byte : noise) {
            byte = char(random());
        }
        parsePhoneMessage(noise);
        nalUnits(noise);
        parameterSets(noise);
        messages.append(noise.constData(), std::size_t(noise.size()));
        while (std::optional<QByteArray> body = messages.next()) {
            EXPECT_GE(body->size(), 1);
            EXPECT_LE(body->size(), 64);
        }
    }
}
