#pragma once

#include "platform/FileDescriptor.h"

#include <QByteArray>

#include <cstdint>
#include <deque>
#include <functional>

namespace lumarient {

// The phone's TCP connection as the streamer's worker uses it: a non-blocking
// socket with a queue of whole packets waiting for room in the kernel. A frame
// packet counts as in flight until the link has taken it, that is until the
// kernel has sent every byte up to the frame's last one, so a phone that stops
// reading holds frames in flight instead of letting seconds of video pile up
// in socket buffers.
class PacketLink {
public:
    // Takes ownership of a connected socket.
    explicit PacketLink(int socket);

    int descriptor() const { return socket_.get(); }
    bool isOpen() const { return socket_.isValid(); }

    // Queues one whole packet (already framed). `frameID` marks a frame packet.
    void send(const QByteArray &packet);
    void sendFrame(const QByteArray &packet, std::uint32_t frameID, double captureTime);

    // Writes as much as the kernel takes. False when the connection failed.
    bool flush(double now);
    bool wantsWrite() const { return !queue_.empty(); }
    bool holdsFrames() const { return !frames_.empty(); }

    // Frames the link has taken since the last call (to count down frames in flight).
    int takeCompletedFrames();

    // Reads what the phone sent; false when the connection closed or failed.
    bool receive(QByteArray &into);

    // Called for each frame packet once its last byte is written to the socket.
    std::function<void(std::uint32_t frameID, double captureTime, double writtenTime)> onFrameWritten;

private:
    struct PendingFrame {
        std::uint64_t endOffset = 0;
        std::uint32_t frameID = 0;
        double captureTime = 0;
        bool written = false;
    };

    FileDescriptor socket_;
    std::deque<QByteArray> queue_;
    qsizetype headOffset_ = 0;
    std::uint64_t queuedBytes_ = 0;
    std::uint64_t writtenBytes_ = 0;
    std::deque<PendingFrame> frames_;
};

} // namespace lumarient
