#include "PhoneWire.h"

#include "display/DisplayWire.h"

namespace lumarient::phoneside {

using namespace lumarient::DisplayWire;

QByteArray touchBody(int action, float x, float y)
{
    QByteArray body(1, 't');
    body.append(char(action));
    appendFloat(body, x);
    appendFloat(body, y);
    return body;
}

QByteArray udpReadyBody(std::uint16_t port, const QString &host)
{
    QByteArray body(1, 'u');
    appendUInt16(body, port);
    body.append(host.toUtf8());
    return body;
}

std::optional<UdpChunkHeader> parseUdpChunkHeader(const QByteArray &datagram)
{
    if (datagram.size() < udpHeaderSize) {
        return std::nullopt;
    }
    UdpChunkHeader header;
    header.frameID = readUInt32(datagram.constData());
    header.index = readUInt16(datagram.constData() + 4);
    header.count = readUInt16(datagram.constData() + 6);
    header.isKeyframe = datagram[8] != 0;
    if (header.count == 0 || header.index >= header.count) {
        return std::nullopt;
    }
    return header;
}

void PacketReader::append(const char *bytes, std::size_t count)
{
    if (!invalid_) {
        buffer_.append(bytes, qsizetype(count));
    }
}

std::optional<QByteArray> PacketReader::next()
{
    if (invalid_ || buffer_.size() < 4) {
        return std::nullopt;
    }
    const std::uint32_t length = readUInt32(buffer_.constData());
    if (length < 1 || length > largestBody_) {
        invalid_ = true;
        buffer_.clear();
        return std::nullopt;
    }
    if (buffer_.size() < qsizetype(4 + length)) {
        return std::nullopt;
    }
    QByteArray body = buffer_.mid(4, qsizetype(length));
    buffer_.remove(0, qsizetype(4 + length));
    return body;
}

} // namespace lumarient::phoneside
