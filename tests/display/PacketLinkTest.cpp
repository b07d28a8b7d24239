#include "display/PacketLink.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

using namespace lumarient;

namespace {

// A loopback TCP connection with small buffers: the link's end is non-blocking,
// the phone's end reads only when the test says so.
struct LoopbackLink {
    LoopbackLink()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int small = 16 * 1024;
        ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(listener, 1);
        socklen_t length = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        const int sender = ::socket(AF_INET, SOCK_STREAM, 0);
        ::setsockopt(sender, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        EXPECT_EQ(::connect(sender, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        phone = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        ::fcntl(sender, F_SETFL, ::fcntl(sender, F_GETFL) | O_NONBLOCK);
        link = std::make_unique<PacketLink>(sender);
    }
    ~LoopbackLink() { ::close(phone); }

    // Bytes that reached the phone's side and wait there to be read.
    int queuedAtPhone() const
    {
        int bytes = 0;
        ::ioctl(phone, FIONREAD, &bytes);
        return bytes;
    }

    // Reads what has arrived, waiting for some when nothing has.
    qsizetype readSome()
    {
        pollfd ready{phone, POLLIN, 0};
        ::poll(&ready, 1, 1000);
        char buffer[65536];
        return std::max<qsizetype>(0, ::recv(phone, buffer, sizeof buffer, MSG_DONTWAIT));
    }

    int phone = -1;
    std::unique_ptr<PacketLink> link;
};

} // namespace

TEST(PacketLink, FramesStayInFlightUntilTheKernelHasSentThem)
{
    LoopbackLink connection;
    PacketLink &link = *connection.link;
    std::vector<std::uint32_t> written;
    link.onFrameWritten = [&](std::uint32_t frameID, double, double) { written.push_back(frameID); };

    // Far more than the buffers hold, frames and other packets mixed.
    constexpr int frames = 600;
    const QByteArray packet(1000, 'f');
    for (int frame = 1; frame <= frames; ++frame) {
        link.sendFrame(packet, std::uint32_t(frame), 0.0);
        link.send(packet);
    }
    ASSERT_TRUE(link.flush(1.0));
    ASSERT_TRUE(link.wantsWrite()) << "the phone reads nothing yet";

    // Frames still waiting in this side's socket buffer are in flight, however
    // much of them the link has written.
    const int taken = link.takeCompletedFrames();
    EXPECT_LE(qsizetype(taken) * 2 * packet.size(), connection.queuedAtPhone() + packet.size());
    EXPECT_LT(taken, frames);
    EXPECT_TRUE(link.holdsFrames());
    EXPECT_EQ(link.takeCompletedFrames(), 0) << "each frame counts once";
    EXPECT_LT(written.size(), std::size_t(frames));

    // The phone reads everything: every frame is taken exactly once, in order.
    int total = taken;
    qsizetype received = 0;
    for (int round = 0; round < 10000 && received < 2 * frames * packet.size(); ++round) {
        received += connection.readSome();
        ASSERT_TRUE(link.flush(2.0));
        total += link.takeCompletedFrames();
    }
    total += link.takeCompletedFrames();
    EXPECT_EQ(total, frames);
    EXPECT_FALSE(link.holdsFrames());
    ASSERT_EQ(written.size(), std::size_t(frames));
    for (int frame = 1; frame <= frames; ++frame)
        EXPECT_EQ(written[std::size_t(frame - 1)], std::uint32_t(frame));
}
