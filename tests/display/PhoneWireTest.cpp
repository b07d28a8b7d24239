// The phone-side stand-in must read and write exactly what the app does, or the
// streamer tests would pass against a phone that speaks another wire.

#include "PhoneWire.h"
#include "display/DisplayWire.h"

#include <gtest/gtest.h>

#include <random>

using namespace lumarient;
using namespace lumarient::DisplayWire;
using namespace lumarient::phoneside;

TEST(PhoneWire, WhatThePhoneSendsTheAppReadsAndTheOtherWayRound)
{
    const std::optional<PhoneMessage> touch = parsePhoneMessage(touchBody(2, 0.5f, 0.125f));
    ASSERT_TRUE(touch);
    EXPECT_EQ(touch->kind, PhoneMessage::Kind::touch);
    EXPECT_EQ(touch->action, 2);
    EXPECT_FLOAT_EQ(touch->x, 0.5f);
    EXPECT_FLOAT_EQ(touch->y, 0.125f);
    const std::optional<PhoneMessage> udp = parsePhoneMessage(udpReadyBody(40000, QStringLiteral("127.0.0.9")));
    ASSERT_TRUE(udp);
    EXPECT_EQ(udp->port, 40000);
    EXPECT_EQ(udp->host, QStringLiteral("127.0.0.9"));

    const std::vector<QByteArray> chunks = udpChunks(0xABCDEF01, true, QByteArray(2801, 'x'));
    ASSERT_EQ(chunks.size(), 3u);
    const std::optional<UdpChunkHeader> last = parseUdpChunkHeader(chunks[2]);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->frameID, 0xABCDEF01u);
    EXPECT_EQ(last->index, 2);
    EXPECT_EQ(last->count, 3);
    EXPECT_TRUE(last->isKeyframe);

    // Packets arrive split anywhere; the reader hands back whole bodies.
    const QByteArray cursor = cursorBody(0.25f, 0.5f);
    const QByteArray frame = frameBody(7, QByteArray(300, 'f'));
    const QByteArray stream = framed(cursor) + framed(frame);
    PacketReader reader;
    std::vector<QByteArray> bodies;
    for (qsizetype at = 0; at < stream.size(); at += 7) {
        reader.append(stream.constData() + at, std::size_t(std::min<qsizetype>(7, stream.size() - at)));
        while (std::optional<QByteArray> body = reader.next()) {
            bodies.push_back(*body);
        }
    }
    EXPECT_EQ(bodies, (std::vector<QByteArray>{cursor, frame}));
    EXPECT_FALSE(reader.invalid());
}

TEST(PhoneWire, MalformedInputIsRejectedWithoutCrashing)
{
    const auto header = [](std::initializer_list<char> bytes) {
        return parseUdpChunkHeader(QByteArray(bytes.begin(), qsizetype(bytes.size())));
    };
    EXPECT_FALSE(header({0, 0, 0, 1, 0, 2, 0, 2})) << "shorter than a header";
    EXPECT_FALSE(header({0, 0, 0, 1, 0, 2, 0, 2, 0})) << "index past count";
    EXPECT_FALSE(header({0, 0, 0, 1, 0, 0, 0, 0, 0})) << "zero chunks";

    for (const QByteArray &length : {QByteArray("\0\0\0\x65", 4), QByteArray("\0\0\0\0", 4)}) {
        PacketReader reader(100);
        reader.append(length.constData(), 4);
        reader.append("\x02", 1);
        EXPECT_FALSE(reader.next());
        EXPECT_TRUE(reader.invalid()) << "an oversized or empty packet ends the stream";
    }

    std::mt19937 random(99);
    PacketReader packets(1 << 20);
    for (int round = 0; round < 2000; ++round) {
        QByteArray noise(int(random() % 80), Qt::Uninitialized);
        for (char &byte : noise) {
            byte = char(random());
        }
        parseUdpChunkHeader(noise);
        packets.append(noise.constData(), std::size_t(noise.size()));
        while (packets.next()) {
        }
    }
}
