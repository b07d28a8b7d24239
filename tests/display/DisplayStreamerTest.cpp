#include "display/DisplayStreamer.h"
#include "DisplayReceiver.h"
#include "PhoneWire.h"
#include "display/VirtualDisplay.h"
#include "platform/libav/LibavVideoEncoder.h"
#include "platform/x11/X11Pointer.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11VirtualMonitors.h"
#include "support/FreePort.h"
#include "support/X11TestWindow.h"
#include "support/XorgServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;
using phoneside::DisplayReceiver;
using phoneside::ReceivedPacket;
using phoneside::ReceiverRecord;
using Kind = phoneside::ReceivedPacket::Kind;

namespace {

bool near(QRgb pixel, QRgb expected, int tolerance = 40)
{
    return std::abs(qRed(pixel) - qRed(expected)) <= tolerance &&
           std::abs(qGreen(pixel) - qGreen(expected)) <= tolerance &&
           std::abs(qBlue(pixel) - qBlue(expected)) <= tolerance;
}

// A real X server, a virtual display on it, a test window covering that display
// and a streamer; the phone side is the display receiver over loopback.
class DisplayStreamerTest : public XorgSuite {
protected:
    void TearDown() override
    {
        if (streamer_) {
            streamer_->stop();
        }
        streamer_.reset();
        window_.reset();
        display_.reset();
    }

    void startStreamer(int width, int height, bool overWifi)
    {
        display_ = VirtualDisplay::create(monitors_, "Lumarient Display", width, height, 60);
        ASSERT_TRUE(display_);
        window_ = std::make_unique<X11TestWindow>(server_->displayName(), 1920, 0, width, height);
        ASSERT_TRUE(window_->isValid());
        DisplayStreamer::Platform platform;
        platform.captures = &captures_;
        const char *name = server_->displayName();
        platform.makePointer = [name] { return std::make_unique<x11::X11Pointer>(name); };
        platform.clock = [] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        };
        platform.encoders = &encoders_;
        platform.port = port_;
        streamer_ = std::make_unique<DisplayStreamer>(display_, overWifi, platform);
        streamer_->startListener();
        streamer_->startCapture();
    }

    std::unique_ptr<DisplayReceiver> connectReceiver(int receiveBuffer = 0, bool stalled = false)
    {
        DisplayReceiver::Options options;
        options.receiveBufferBytes = receiveBuffer;
        options.port = port_;
        auto receiver = std::make_unique<DisplayReceiver>(options);
        receiver->setStalled(stalled);
        EXPECT_TRUE(receiver->connect());
        return receiver;
    }

    // Keeps the display's content changing for `duration`.
    void animate(std::chrono::milliseconds duration)
    {
        const auto deadline = std::chrono::steady_clock::now() + duration;
        std::uint32_t seed = 1;
        while (std::chrono::steady_clock::now() < deadline) {
            window_->paintNoise(seed++);
            std::this_thread::sleep_for(15ms);
        }
    }

    x11::X11VirtualMonitorFactory monitors_{nullptr, server_->displayName()};
    x11::X11ScreenCaptureFactory captures_{server_->displayName()};
    libav::LibavVideoEncoderFactory encoders_{false};
    std::shared_ptr<VirtualDisplay> display_;
    std::unique_ptr<X11TestWindow> window_;
    std::unique_ptr<DisplayStreamer> streamer_;
    std::uint16_t port_ = freeLoopbackPort();
};

} // namespace

TEST_F(DisplayStreamerTest, EachConnectionStartsWithConfigThenAKeyframeShowingTheDisplay)
{
    startStreamer(640, 360, false);
    window_->fill(0, 0, 320, 360, 0xFF0000);
    window_->fill(320, 0, 320, 360, 0x0000FF);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(streamer_->statistics().framesEncoded, 0u) << "nothing is encoded before the phone connects";

    auto phone = connectReceiver();
    ASSERT_TRUE(phone->waitFor([](const ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    ReceiverRecord record = phone->record();
    ASSERT_GE(record.packets.size(), 2u);
    EXPECT_EQ(record.packets[0].kind, Kind::config);
    EXPECT_EQ(record.packets[1].kind, Kind::frame);
    EXPECT_EQ(record.packets[1].frameID, 1u);
    EXPECT_TRUE(record.packets[1].isKeyframe);
    EXPECT_TRUE(near(record.lastPicture.pixel(160, 180), qRgb(255, 0, 0)));
    EXPECT_TRUE(near(record.lastPicture.pixel(480, 180), qRgb(0, 0, 255)));
    EXPECT_EQ(record.decodeErrors, 0);

    window_->fill(0, 0, 640, 360, 0x00FF00);
    EXPECT_TRUE(phone->waitFor([](const ReceiverRecord &r) {
        return !r.lastPicture.isNull() && near(r.lastPicture.pixel(320, 180), qRgb(0, 255, 0));
    })) << "changed content reaches the phone";
    const std::uint32_t lastFirstID = phone->record().frameIDs().back();

    // A second phone connection replaces the first and gets its own config packet.
    auto second = connectReceiver();
    EXPECT_TRUE(phone->waitFor([](const ReceiverRecord &r) { return r.closedByComputer; }));
    window_->fill(0, 0, 640, 360, 0xFFFFFF);
    ASSERT_TRUE(second->waitFor([](const ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    record = second->record();
    EXPECT_EQ(record.packets[0].kind, Kind::config);
    EXPECT_EQ(record.count(Kind::config), 1);
    EXPECT_GT(record.packets[1].frameID, lastFirstID);
    EXPECT_TRUE(record.packets[1].isKeyframe);
    EXPECT_EQ(record.decodeErrors, 0);
}

TEST_F(DisplayStreamerTest, AnUnchangedDisplayCostsNoCapture)
{
    startStreamer(640, 360, false);
    auto phone = connectReceiver();
    ASSERT_TRUE(phone->waitFor([](const ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    std::this_thread::sleep_for(200ms);
    const std::uint64_t captured = streamer_->statistics().framesCaptured;
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(streamer_->statistics().framesCaptured, captured);
    // Drawing on another display does not make a frame either.
    X11TestWindow elsewhere(server_->displayName(), 100, 100, 200, 200);
    elsewhere.fill(0, 0, 200, 200, 0x123456);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(streamer_->statistics().framesCaptured, captured);
    window_->fill(0, 0, 10, 10, 0xFFFFFF);
    EXPECT_TRUE(phone->waitFor([&](const ReceiverRecord &r) { return r.count(Kind::frame) >= 2; }));
}

TEST_F(DisplayStreamerTest, CursorPacketsFollowThePointerOnlyOnTheDisplay)
{
    startStreamer(640, 360, false);
    auto phone = connectReceiver();
    window_->movePointer(1920 + 320, 180);
    ASSERT_TRUE(phone->waitFor([](const ReceiverRecord &r) { return r.count(Kind::cursor) >= 1; }));
    ReceiverRecord record = phone->record();
    const ReceivedPacket cursor = *std::find_if(record.packets.rbegin(), record.packets.rend(),
                                                [](const ReceivedPacket &p) { return p.kind == Kind::cursor; });
    EXPECT_FLOAT_EQ(cursor.x, 0.5f);
    EXPECT_FLOAT_EQ(cursor.y, 0.5f);

    window_->movePointer(100, 100);
    std::this_thread::sleep_for(150ms);
    const int before = phone->record().count(Kind::cursor);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(phone->record().count(Kind::cursor), before) << "outside the display: nothing";
    window_->movePointer(1920 + 64, 36);
    ASSERT_TRUE(phone->waitFor([&](const ReceiverRecord &r) { return r.count(Kind::cursor) > before; }, 500ms))
        << "moving back gives a packet";
    record = phone->record();
    EXPECT_FLOAT_EQ(record.packets.back().x, 0.1f);
    EXPECT_FLOAT_EQ(record.packets.back().y, 0.1f);

    // A warp reports no motion; the pointer is still found within a moment.
    window_->warpPointer(1920 + 480, 270);
    ASSERT_TRUE(phone->waitFor(
        [](const ReceiverRecord &r) { return r.packets.back().kind == Kind::cursor && r.packets.back().x == 0.75f; },
        1s));
}

TEST_F(DisplayStreamerTest, TouchesClickAtTheRightGlobalPointAndShortOnesAreIgnored)
{
    startStreamer(2400, 1080, false);
    auto phone = connectReceiver();
    ASSERT_TRUE(phone->waitFor([](const ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    phone->sendMessage(phoneside::touchBody(0, 0.25f, 0.25f).left(9));
    phone->touch(0, 0.5f, 0.5f);
    phone->touch(2, 0.6f, 0.5f);
    phone->touch(1, 0.6f, 0.5f);
    const std::vector<X11TestWindow::Click> clicks = window_->clicks(500);
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_TRUE(clicks[0].press);
    EXPECT_EQ(clicks[0].rootX, 3120);
    EXPECT_EQ(clicks[0].rootY, 540);
    EXPECT_FALSE(clicks[1].press);
    EXPECT_EQ(clicks[1].rootX, 3360);
    EXPECT_EQ(clicks[1].rootY, 540);
}

TEST_F(DisplayStreamerTest, AConfirmedUdpPathCarriesTheVideoAloneUntilItIsRefused)
{
    startStreamer(640, 360, true);
    auto phone = connectReceiver();
    ASSERT_TRUE(phone->waitFor([](const ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    // Standard output is captured from here on: failures are reported after it ends.
    testing::internal::CaptureStdout();
    phone->offerUdp();
    animate(200ms);
    const bool bothWays = phone->waitFor(
        [](const ReceiverRecord &r) { return r.count(Kind::udpFrame) >= 1 && r.count(Kind::frame) >= 2; });

    phone->confirmUdp();
    const int udpAtConfirmation = phone->record().count(Kind::udpFrame);
    animate(300ms);
    const bool udpGoesOn =
        phone->waitFor([&](const ReceiverRecord &r) { return r.count(Kind::udpFrame) >= udpAtConfirmation + 3; });
    const ReceiverRecord settled = phone->record();
    const int tcpFrames = settled.count(Kind::frame);
    const int udpFrames = settled.count(Kind::udpFrame);
    const std::vector<std::uint32_t> ids = settled.frameIDs();
    const std::uint32_t newest = ids.empty() ? 0 : *std::max_element(ids.begin(), ids.end());
    animate(300ms);
    const bool udpStillGoesOn =
        phone->waitFor([&](const ReceiverRecord &r) { return r.count(Kind::udpFrame) >= udpFrames + 3; });
    const ReceiverRecord confirmed = phone->record();

    // The phone's end of the path goes away: the video comes back over TCP.
    phone->closeUdp();
    animate(400ms);
    const bool tcpAgain =
        phone->waitFor([&](const ReceiverRecord &r) { return r.count(Kind::frame) > confirmed.count(Kind::frame); });
    const ReceiverRecord record = phone->record();
    streamer_->stop();
    const std::string output = testing::internal::GetCapturedStdout();

    EXPECT_TRUE(bothWays) << "unconfirmed: frames go both ways";
    EXPECT_TRUE(udpGoesOn);
    EXPECT_TRUE(udpStillGoesOn);
    // Frames sent over TCP before the confirmation may still arrive; no newer one does.
    for (const ReceivedPacket &packet : confirmed.packets) {
        if (packet.kind == Kind::frame) {
            EXPECT_LE(packet.frameID, newest) << "confirmed: no more video over TCP";
        }
    }
    EXPECT_EQ(confirmed.decodeErrors, 0);
    EXPECT_NE(output.find("[Lumarient] UDP video path confirmed\n"), std::string::npos) << output;
    EXPECT_TRUE(tcpAgain) << "video comes back over TCP";
    EXPECT_NE(output.find("[Lumarient] UDP unavailable (failed: Connection refused); falling back to TCP video\n"),
              std::string::npos)
        << output;
    std::vector<ReceivedPacket> tcp;
    std::copy_if(record.packets.begin(), record.packets.end(), std::back_inserter(tcp),
                 [](const ReceivedPacket &p) { return p.kind == Kind::frame; });
    EXPECT_TRUE(std::any_of(tcp.begin() + std::min<std::ptrdiff_t>(tcpFrames, std::ptrdiff_t(tcp.size())), tcp.end(),
                            [](const ReceivedPacket &p) { return p.isKeyframe; }))
        << "the path change forces a keyframe";
}

TEST_F(DisplayStreamerTest, UdpOffersWithoutAHostAreIgnored)
{
    startStreamer(640, 360, true);
    auto wifi = connectReceiver();
    wifi->offerUdp(QString());
    animate(300ms);
    ASSERT_TRUE(wifi->waitFor([](const ReceiverRecord &r) { return r.count(Kind::frame) >= 3; }));
    EXPECT_EQ(wifi->record().udpDatagrams, 0);
}

TEST_F(DisplayStreamerTest, GarbageFromThePhoneNeitherStopsTheStreamNorTheTouches)
{
    startStreamer(640, 360, false);
    auto phone = connectReceiver();
    ASSERT_TRUE(phone->waitFor([](const ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    std::mt19937 random(7);
    QByteArray garbage(256 * 1024, Qt::Uninitialized);
    for (char &byte : garbage) {
        byte = char(random());
    }
    phone->sendRaw(garbage);
    // Lengths far beyond the limit and zero lengths: skipped four bytes at a time.
    phone->sendRaw(QByteArray::fromHex("7fffffff00000000ffffffff00000041"));
    window_->fill(0, 0, 640, 360, 0x00FF00);
    EXPECT_TRUE(phone->waitFor([](const ReceiverRecord &r) {
        return !r.lastPicture.isNull() && near(r.lastPicture.pixel(320, 180), qRgb(0, 255, 0));
    })) << "the stream goes on";
    EXPECT_FALSE(phone->record().closedByComputer);
}
