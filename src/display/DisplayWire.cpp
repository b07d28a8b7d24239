#include "display/DisplayWire.h"

#include <QStringDecoder>

#include <bit>
#include <cstring>

namespace lumarient::DisplayWire {

namespace {

constexpr char fourByteStartCode[] = {0, 0, 0, 1};

// Finds the next start code at or after `from`; returns its position and sets
// `length` to 3 or 4, or returns -1.
qsizetype findStartCode(const QByteArray &data, qsizetype from, int &length)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    for (qsizetype i = from; i + 2 < data.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) {
            if (i > from && bytes[i - 1] == 0) {
                length = 4;
                return i - 1;
            }
            length = 3;
            return i;
        }
    }
    return -1;
}

int nalType(const QByteArray &nal)
{
    return nal.isEmpty() ? -1 : (static_cast<unsigned char>(nal[0]) & 0x1F);
}

} // namespace

void appendUInt32(QByteArray &out, std::uint32_t value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    out.append(bytes, 4);
}

void appendUInt16(QByteArray &out, std::uint16_t value)
{
    const char bytes[2] = {char(value >> 8), char(value)};
    out.append(bytes, 2);
}

void appendFloat(QByteArray &out, float value)
{
    appendUInt32(out, std::bit_cast<std::uint32_t>(value));
}

std::uint32_t readUInt32(const char *bytes)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes);
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

std::uint16_t readUInt16(const char *bytes)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes);
    return std::uint16_t((b[0] << 8) | b[1]);
}

float readFloat(const char *bytes)
{
    return std::bit_cast<float>(readUInt32(bytes));
}

QByteArray framed(const QByteArray &body)
{
    QByteArray out;
    out.reserve(body.size() + 4);
    appendUInt32(out, std::uint32_t(body.size()));
    out.append(body);
    return out;
}

QByteArray configBody(const std::vector<QByteArray> &parameterSets)
{
    QByteArray body(1, configPacket);
    for (const QByteArray &set : parameterSets) {
        body.append(fourByteStartCode, 4);
        body.append(set);
    }
    return body;
}

QByteArray frameBody(std::uint32_t frameID, const QByteArray &annexB)
{
    QByteArray body;
    body.reserve(annexB.size() + 5);
    body.append(char(framePacket));
    appendUInt32(body, frameID);
    body.append(annexB);
    return body;
}

QByteArray cursorBody(float x, float y)
{
    QByteArray body(1, cursorPacket);
    appendFloat(body, x);
    appendFloat(body, y);
    return body;
}

std::vector<QByteArray> nalUnits(const QByteArray &annexB)
{
    std::vector<QByteArray> units;
    int length = 0;
    qsizetype start = findStartCode(annexB, 0, length);
    while (start >= 0) {
        const qsizetype payload = start + length;
        int nextLength = 0;
        const qsizetype next = findStartCode(annexB, payload, nextLength);
        const qsizetype end = next < 0 ? annexB.size() : next;
        if (end > payload) {
            units.push_back(annexB.mid(payload, end - payload));
        }
        start = next;
        length = nextLength;
    }
    return units;
}

QByteArray withFourByteStartCodes(const QByteArray &annexB)
{
    QByteArray out;
    out.reserve(annexB.size() + 16);
    for (const QByteArray &unit : nalUnits(annexB)) {
        out.append(fourByteStartCode, 4);
        out.append(unit);
    }
    return out;
}

std::vector<QByteArray> parameterSets(const QByteArray &annexB)
{
    QByteArray sps;
    QByteArray pps;
    for (const QByteArray &unit : nalUnits(annexB)) {
        if (nalType(unit) == 7 && sps.isEmpty()) {
            sps = unit;
        } else if (nalType(unit) == 8 && pps.isEmpty()) {
            pps = unit;
        }
    }
    if (sps.isEmpty() || pps.isEmpty()) {
        return {};
    }
    return {sps, pps};
}

std::vector<QByteArray> udpChunks(std::uint32_t frameID, bool isKeyframe, const QByteArray &data)
{
    std::vector<QByteArray> chunks;
    const qsizetype count = (data.size() + udpChunkPayload - 1) / udpChunkPayload;
    if (count == 0 || count > 65535) {
        return chunks;
    }
    chunks.reserve(std::size_t(count));
    for (qsizetype index = 0; index < count; ++index) {
        QByteArray datagram;
        const qsizetype offset = index * udpChunkPayload;
        const qsizetype size = std::min<qsizetype>(udpChunkPayload, data.size() - offset);
        datagram.reserve(udpHeaderSize + size);
        appendUInt32(datagram, frameID);
        appendUInt16(datagram, std::uint16_t(index));
        appendUInt16(datagram, std::uint16_t(count));
        datagram.append(char(isKeyframe ? 1 : 0));
        datagram.append(data.constData() + offset, size);
        chunks.push_back(std::move(datagram));
    }
    return chunks;
}

std::optional<PhoneMessage> parsePhoneMessage(const QByteArray &body)
{
    if (body.isEmpty()) {
        return std::nullopt;
    }
    PhoneMessage message;
    switch (body[0]) {
    case 'U':
        message.kind = PhoneMessage::Kind::udpConfirmed;
        return message;
    case 'k':
        message.kind = PhoneMessage::Kind::keyframeRequest;
        return message;
    case 't':
        if (body.size() < 10) {
            return std::nullopt;
        }
        message.kind = PhoneMessage::Kind::touch;
        message.action = static_cast<unsigned char>(body[1]);
        message.x = readFloat(body.constData() + 2);
        message.y = readFloat(body.constData() + 6);
        return message;
    case 'u': {
        if (body.size() < 3) {
            return std::nullopt;
        }
        auto decode = QStringDecoder(QStringDecoder::Utf8);
        message.host = decode(body.mid(3));
        if (decode.hasError() || message.host.isEmpty()) {
            return std::nullopt;
        }
        message.kind = PhoneMessage::Kind::udpReady;
        message.port = readUInt16(body.constData() + 1);
        return message;
    }
    default:
        return message;
    }
}

void PhoneMessageReader::append(const char *bytes, std::size_t count)
{
    buffer_.append(bytes, qsizetype(count));
}

std::optional<QByteArray> PhoneMessageReader::next()
{
    while (buffer_.size() >= 4) {
        const std::uint32_t length = readUInt32(buffer_.constData());
        if (length < 1 || length > std::uint32_t(largestPhoneMessage)) {
            buffer_.remove(0, 4);
            continue;
        }
        if (buffer_.size() < qsizetype(4 + length)) {
            return std::nullopt;
        }
        QByteArray body = buffer_.mid(4, qsizetype(length));
        buffer_.remove(0, qsizetype(4 + length));
        return body;
    }
    return std::nullopt;
}

} // namespace lumarient::DisplayWire
