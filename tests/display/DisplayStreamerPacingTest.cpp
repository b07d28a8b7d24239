#include "DisplayReceiver.h"
#include "display/DisplayStreamer.h"
#include "display/VirtualDisplay.h"
#include "platform/libav/LibavVideoEncoder.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11VirtualMonitors.h"
#include "support/FreePort.h"
#include "support/X11TestWindow.h"
#include "support/XorgServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;
using phoneside::DisplayReceiver;
using phoneside::ReceiverRecord;

namespace {

constexpr double interval = 1.0 / 60.0;

bool shows(const ReceiverRecord &record, QRgb colour)
{
    if (record.lastPicture.isNull()) {
        return false;
    }
    const QRgb pixel = record.lastPicture.pixel(record.lastPicture.width() / 2, record.lastPicture.height() / 2);
    return std::abs(qRed(pixel) - qRed(colour)) <= 40 && std::abs(qGreen(pixel) - qGreen(colour)) <= 40 &&
           std::abs(qBlue(pixel) - qBlue(colour)) <= 40;
}

// X11 capture that counts how often the streamer looks for changes: once
// every turn of its loop.
class CountingCaptures final : public ScreenCaptureFactory {
public:
    explicit CountingCaptures(const char *displayName) : real_(displayName) {}

    std::unique_ptr<ScreenCapture> open(std::uint32_t displayID) override
    {
        std::unique_ptr<ScreenCapture> capture = real_.open(displayID);
        return capture ? std::make_unique<Counted>(std::move(capture), looks) : nullptr;
    }

    std::atomic<int> looks{0};

private:
    class Counted final : public ScreenCapture {
    public:
        Counted(std::unique_ptr<ScreenCapture> real, std::atomic<int> &looks) : real_(std::move(real)), looks_(looks) {}
        int pollDescriptor() const override { return real_->pollDescriptor(); }
        DisplayRect bounds() const override { return real_->bounds(); }
        bool contentChanged() override
        {
            ++looks_;
            return real_->contentChanged();
        }
        const CapturedFrame *grab() override { return real_->grab(); }

    private:
        std::unique_ptr<ScreenCapture> real_;
        std::atomic<int> &looks_;
    };

    x11::X11ScreenCaptureFactory real_;
};

// A streamer on a real X server whose clock only moves when the test moves it:
// a capture that happens while the clock stands still was caused by the change
// on the screen, not by a tick.
class DisplayStreamerPacingTest : public XorgSuite {
protected:
    void SetUp() override
    {
        XorgSuite::SetUp();
        if (IsSkipped()) {
            return;
        }
        display_ = VirtualDisplay::create(monitors_, "Lumarient Display", 640, 360, 60);
        ASSERT_TRUE(display_);
        window_ = std::make_unique<X11TestWindow>(server_->displayName(), 1920, 0, 640, 360);
        ASSERT_TRUE(window_->isValid());
        window_->fill(0, 0, 640, 360, 0x000000);
    }

    // Starts the streamer and connects the phone.
    void start(VideoEncoderFactory *encoders)
    {
        DisplayStreamer::Platform platform;
        platform.captures = &captures_;
        platform.encoders = encoders;
        platform.clock = [clock = clock_] { return clock->load(); };
        platform.port = port_;
        streamer_ = std::make_unique<DisplayStreamer>(display_, false, platform);
        streamer_->startListener();
        streamer_->startCapture();
        DisplayReceiver::Options options;
        options.port = port_;
        phone_ = std::make_unique<DisplayReceiver>(options);
        ASSERT_TRUE(phone_->connect());
    }

    void startShowing()
    {
        start(&encoders_);
        ASSERT_TRUE(phone_->waitFor([](const ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    }

    void TearDown() override
    {
        phone_.reset();
        if (streamer_) {
            streamer_->stop();
        }
        streamer_.reset();
        window_.reset();
        display_.reset();
    }

    void advance(double seconds) { clock_->store(clock_->load() + seconds); }
    std::uint64_t captured() const { return streamer_->statistics().framesCaptured; }

    // Lets whatever the set-up drew be captured, then waits for a quiet display.
    void settle()
    {
        std::uint64_t before = ~0ull;
        for (int look = 0; look < 50 && captured() != before; ++look) {
            before = captured();
            advance(1.0);
            std::this_thread::sleep_for(100ms);
        }
    }

    void paint(std::uint32_t rgb) { window_->fill(0, 0, 640, 360, rgb); }

    bool phoneShows(QRgb colour)
    {
        return phone_->waitFor([colour](const ReceiverRecord &r) { return shows(r, colour); });
    }

    std::shared_ptr<std::atomic<double>> clock_ = std::make_shared<std::atomic<double>>(1000.0);
    x11::X11VirtualMonitorFactory monitors_{nullptr, server_->displayName()};
    CountingCaptures captures_{server_->displayName()};
    libav::LibavVideoEncoderFactory encoders_{false};
    std::uint16_t port_ = freeLoopbackPort();
    std::shared_ptr<VirtualDisplay> display_;
    std::unique_ptr<X11TestWindow> window_;
    std::unique_ptr<DisplayStreamer> streamer_;
    std::unique_ptr<DisplayReceiver> phone_;
};

} // namespace

TEST_F(DisplayStreamerPacingTest, AChangeAfterAQuietSpellIsCapturedAtOnceAndOneSoonAfterWaits)
{
    startShowing();
    settle();
    paint(0xFF0000);
    ASSERT_TRUE(phoneShows(qRgb(255, 0, 0))) << "captured with the clock standing still";
    const std::uint64_t first = captured();

    // The last capture's slot has passed; the change is captured at once.
    advance(1.5 * interval);
    paint(0x00FF00);
    ASSERT_TRUE(phoneShows(qRgb(0, 255, 0))) << "captured with the clock standing still";
    EXPECT_EQ(captured(), first + 1);

    // Sooner than half an interval after that capture: the change waits, even
    // past the slot the earlier captures would have had.
    paint(0x0000FF);
    advance(0.4 * interval);
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(captured(), first + 1) << "at most one capture per interval";
    EXPECT_TRUE(shows(phone_->record(), qRgb(0, 255, 0)));

    advance(0.15 * interval);
    EXPECT_TRUE(phoneShows(qRgb(0, 0, 255))) << "the waiting change is captured half an interval before its slot";
    EXPECT_EQ(captured(), first + 2);
}

TEST_F(DisplayStreamerPacingTest, ContinuousChangeIsCapturedAtMostOncePerInterval)
{
    startShowing();
    settle();
    std::atomic<bool> painting{true};
    std::thread painter([&] {
        for (std::uint32_t seed = 1; painting; ++seed) {
            window_->paintNoise(seed);
            std::this_thread::sleep_for(2ms);
        }
    });
    const std::uint64_t before = captured();
    constexpr int intervals = 12;
    for (int step = 0; step < intervals * 4; ++step) {
        advance(interval / 4);
        std::this_thread::sleep_for(15ms);
    }
    painting = false;
    painter.join();
    const std::uint64_t taken = captured() - before;
    EXPECT_LE(taken, std::uint64_t(intervals + 1));
    EXPECT_GE(taken, 2u) << "the display keeps being captured while it changes";

    // The last picture is not lost once the interval ends.
    paint(0xFFFFFF);
    advance(interval);
    EXPECT_TRUE(phoneShows(qRgb(255, 255, 255)));
}

TEST_F(DisplayStreamerPacingTest, WithoutAnEncoderTheLoopStillSleepsBetweenChanges)
{
    start(nullptr);
    paint(0xFF0000);
    std::this_thread::sleep_for(300ms);
    const int before = captures_.looks;
    std::this_thread::sleep_for(300ms);
    // Waking for the pointer every 8 ms makes a few dozen looks; a change left
    // pending would make the loop spin through hundreds of thousands.
    EXPECT_LT(captures_.looks - before, 1000);
    EXPECT_EQ(streamer_->statistics().framesEncoded, 0u);
}
