#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace lumarient::phoneside {

// The phone's end of the second-display stream: the messages it sends to the
// computer and the readers for what the computer sends it. The byte layouts
// themselves are the app's, in display/DisplayWire.h.

QByteArray touchBody(int action, float x, float y);
QByteArray udpReadyBody(std::uint16_t port, const QString &host);

struct UdpChunkHeader {
    std::uint32_t frameID = 0;
    std::uint16_t index = 0;
    std::uint16_t count = 0;
    bool isKeyframe = false;
};
// Nothing for a datagram shorter than its header, with no chunks, or with an
// index past its count.
std::optional<UdpChunkHeader> parseUdpChunkHeader(const QByteArray &datagram);

// Splits the computer's packet stream. Bodies longer than `largestBody`, or
// empty, make the stream invalid.
class PacketReader {
public:
    explicit PacketReader(std::uint32_t largestBody = 64u * 1024 * 1024) : largestBody_(largestBody) {}
    void append(const char *bytes, std::size_t count);
    std::optional<QByteArray> next();
    bool invalid() const { return invalid_; }

private:
    QByteArray buffer_;
    std::uint32_t largestBody_;
    bool invalid_ = false;
};

} // namespace lumarient::phoneside
