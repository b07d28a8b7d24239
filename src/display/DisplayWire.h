#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace lumarient {

// The second-display stream's wire formats: packets to the phone over TCP, video
// datagrams over UDP and the phone's messages back. Pure functions, so every byte
// layout is tested on its own.
namespace DisplayWire {

inline constexpr std::uint16_t tcpPort = 38018;
inline constexpr int udpChunkPayload = 1400;
inline constexpr int udpHeaderSize = 9;
inline constexpr int largestPhoneMessage = 64;

enum PacketType : char { configPacket = 0x00, framePacket = 0x01, cursorPacket = 0x02 };

// Big-endian helpers.
void appendUInt32(QByteArray &out, std::uint32_t value);
void appendUInt16(QByteArray &out, std::uint16_t value);
void appendFloat(QByteArray &out, float value);
std::uint32_t readUInt32(const char *bytes);
std::uint16_t readUInt16(const char *bytes);
float readFloat(const char *bytes);

// One packet on the TCP stream: 4-byte length, then the body.
QByteArray framed(const QByteArray &body);

// 0x00 followed by the parameter sets, each after a 4-byte start code.
QByteArray configBody(const std::vector<QByteArray> &parameterSets);
// 0x01, the frame number, then the Annex B frame data.
QByteArray frameBody(std::uint32_t frameID, const QByteArray &annexB);
// 0x02, x, y.
QByteArray cursorBody(float x, float y);

// The NAL units of an Annex B byte stream (3- or 4-byte start codes), without
// their start codes. Bytes before the first start code are not a NAL unit.
std::vector<QByteArray> nalUnits(const QByteArray &annexB);
// The same NAL units, each after a 4-byte start code, whatever the input used.
QByteArray withFourByteStartCodes(const QByteArray &annexB);
// The SPS and then the PPS of encoder extradata in Annex B form; empty when
// either is missing.
std::vector<QByteArray> parameterSets(const QByteArray &annexB);

// The video datagrams of one frame's Annex B data: 9-byte header and at most
// 1400 bytes each. Empty data, or data needing more than 65,535 chunks, gives none.
std::vector<QByteArray> udpChunks(std::uint32_t frameID, bool isKeyframe, const QByteArray &data);

// A phone message, decoded.
struct PhoneMessage {
    enum class Kind { udpConfirmed, keyframeRequest, touch, udpReady, other };
    Kind kind = Kind::other;
    // Touch: action 0 down, 1 up, anything else moved; x and y fractions.
    int action = 0;
    float x = 0;
    float y = 0;
    // udpReady: the phone's port and host.
    std::uint16_t port = 0;
    QString host;
};

// Decodes one message body; nothing for a touch shorter than 10 bytes, a "u"
// without port or with an empty or malformed host, or an empty body.
std::optional<PhoneMessage> parsePhoneMessage(const QByteArray &body);

// Splits the phone's byte stream into message bodies. A length below 1 or above
// 64 is skipped (its body is not read) and the next 4 bytes are taken as a new
// length, so a hostile peer cannot make the reader buffer more than 68 bytes.
class PhoneMessageReader {
public:
    void append(const char *bytes, std::size_t count);
    std::optional<QByteArray> next();

private:
    QByteArray buffer_;
};

} // namespace DisplayWire
} // namespace lumarient
