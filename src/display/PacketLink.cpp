#include "display/PacketLink.h"

#include <cerrno>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace lumarient {

PacketLink::PacketLink(int socket) : socket_(socket)
{
}

void PacketLink::send(const QByteArray &packet)
{
    queue_.push_back(packet);
    queuedBytes_ += std::uint64_t(packet.size());
}

void PacketLink::sendFrame(const QByteArray &packet, std::uint32_t frameID, double captureTime)
{
    send(packet);
    frames_.push_back({queuedBytes_, frameID, captureTime, false});
}

bool PacketLink::flush(double now)
{
    while (socket_.isValid() && !queue_.empty()) {
        const QByteArray &head = queue_.front();
        const ssize_t written =
            ::send(socket_.get(), head.constData() + headOffset_, std::size_t(head.size() - headOffset_), MSG_NOSIGNAL);
        if (written < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                break;
            }
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        writtenBytes_ += std::uint64_t(written);
        headOffset_ += written;
        if (headOffset_ == head.size()) {
            queue_.pop_front();
            headOffset_ = 0;
        }
    }
    // Frames written earlier stay here until the kernel has sent them; the ones
    // behind them may have been written since.
    for (PendingFrame &frame : frames_) {
        if (frame.written) {
            continue;
        }
        if (frame.endOffset > writtenBytes_) {
            break;
        }
        frame.written = true;
        if (onFrameWritten) {
            onFrameWritten(frame.frameID, frame.captureTime, now);
        }
    }
    return true;
}

int PacketLink::takeCompletedFrames()
{
    if (frames_.empty() || !socket_.isValid()) {
        return 0;
    }
    int unsent = 0;
    if (::ioctl(socket_.get(), SIOCOUTQNSD, &unsent) < 0) {
        unsent = 0;
    }
    const std::uint64_t taken = writtenBytes_ - std::min<std::uint64_t>(writtenBytes_, std::uint64_t(unsent));
    int completed = 0;
    while (!frames_.empty() && frames_.front().endOffset <= taken) {
        frames_.pop_front();
        ++completed;
    }
    return completed;
}

bool PacketLink::receive(QByteArray &into)
{
    char buffer[4096];
    // Bounded, so a phone that floods the link cannot keep the worker here.
    for (int round = 0; round < 16; ++round) {
        const ssize_t count = ::recv(socket_.get(), buffer, sizeof buffer, 0);
        if (count > 0) {
            into.append(buffer, count);
            if (std::size_t(count) < sizeof buffer) {
                return true;
            }
            continue;
        }
        if (count == 0) {
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return true;
}

} // namespace lumarient
