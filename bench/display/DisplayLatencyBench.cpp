// What a phone user sees of the second display: from the moment a change on
// the display is complete (the painter's requests done, confirmed by a round
// trip) to the last byte of the first frame packet that shows it arriving at
// the phone's socket. The real streamer, X capture and encoder run against a
// private Xorg; the phone is a loopback reader that decodes every frame with
// libavcodec and reads a frame counter the painter draws into the picture.
// Prints latency min / median / p99 / max, frames per second, and CPU per
// frame of the streamer's threads and of the X server.
//
//   display_latency_bench [seconds per run] [runs] [x264 preset]

#include "BenchMeasures.h"
#include "StampedFrameReader.h"
#include "display/DisplayStreamer.h"
#include "display/DisplayWire.h"
#include "display/VirtualDisplay.h"
#include "platform/libav/LibavHandles.h"
#include "platform/libav/LibavVideoEncoder.h"
#include "platform/x11/X11Pointer.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11VirtualMonitors.h"
#include "support/X11TestWindow.h"
#include "support/XorgServer.h"

#include <QDir>
#include <QFile>

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace lumarient;
using namespace std::chrono_literals;

namespace {

using namespace bench;

// The frame counter: one black or white square per bit along the top edge.
constexpr int markerBits = 12;
constexpr int markerSquare = 32;

// The painter's record: when each numbered change was complete.
class PaintLog {
public:
    void completed(std::uint32_t number, SteadyTime at)
    {
        std::lock_guard lock(mutex_);
        if (times_.size() <= number) {
            times_.resize(number + 1);
        }
        times_[number] = at;
    }

    // The latencies of every change up to `number` not yet shown, measured to `arrived`.
    void shown(std::uint32_t number, SteadyTime arrived, std::vector<double> &latencies)
    {
        std::lock_guard lock(mutex_);
        // A picture taken while the counter was being drawn mixes two numbers'
        // bits, and may read as one that was not complete yet: it shows nothing.
        if (number >= times_.size() || times_[number] == SteadyTime{} || times_[number] > arrived) {
            return;
        }
        const std::uint32_t last = number;
        for (; firstUnshown_ <= last && !times_.empty(); ++firstUnshown_) {
            if (times_[firstUnshown_] != SteadyTime{}) {
                latencies.push_back(millisecondsBetween(times_[firstUnshown_], arrived));
            }
        }
    }

    void restartAt(std::uint32_t number)
    {
        std::lock_guard lock(mutex_);
        firstUnshown_ = number;
    }

private:
    std::mutex mutex_;
    std::vector<SteadyTime> times_;
    std::uint32_t firstUnshown_ = 0;
};

// The phone: reads the frame counter from each decoded picture's luma plane.
class MarkerReader {
public:
    MarkerReader(std::uint16_t port, PaintLog &log) : frames_(port), log_(log) {}

    // Decodes what arrived so far; the latencies of the changes it showed.
    std::vector<double> takeLatencies()
    {
        std::vector<double> latencies;
        frames_.decodeArrived([&](const AVFrame &picture, SteadyTime arrived) {
            std::uint32_t number = 0;
            for (int bit = 0; bit < markerBits; ++bit) {
                const int x = bit * markerSquare + markerSquare / 2;
                const std::uint8_t luma = picture.data[0][(markerSquare / 2) * picture.linesize[0] + x];
                number |= (luma > 128 ? 1u : 0u) << bit;
            }
            // A picture taken while the painter was still drawing shows the last
            // complete change again; the rest of the change waits for the next frame.
            if (number == lastNumber_) {
                ++repeats_;
            }
            lastNumber_ = number;
            log_.shown(number, arrived, latencies);
        });
        return latencies;
    }

    std::uint64_t framesArrived() const { return frames_.framesArrived(); }
    // Frames decoded so far that showed no newer change than the frame before.
    std::uint64_t repeats() const { return repeats_; }
    int profile() const { return frames_.profile(); }

private:
    bench::StampedFrameReader frames_;
    PaintLog &log_;
    std::uint32_t lastNumber_ = ~0u;
    std::uint64_t repeats_ = 0;
};

struct RunFigures {
    std::vector<double> latencies;
    double framesPerSecond = 0;
    double streamerMsPerFrame = 0;
    double serverMsPerFrame = 0;
    std::uint64_t dropped = 0;
    int profile = 0;
    std::uint64_t decoded = 0;
    std::uint64_t repeats = 0;
};

RunFigures runOnce(const test::XorgServer &server, int width, int height, double seconds, const char *preset)
{
    RunFigures figures;
    x11::X11VirtualMonitorFactory monitors(nullptr, server.displayName());
    x11::X11ScreenCaptureFactory captures(server.displayName());
    std::shared_ptr<VirtualDisplay> display = VirtualDisplay::create(monitors, "Lumarient Display", width, height, 60);
    if (!display) {
        std::printf("no virtual display\n");
        return figures;
    }
    test::X11TestWindow window(server.displayName(), 1920, 0, width, height);
    DisplayStreamer::Platform platform;
    platform.captures = &captures;
    libav::LibavVideoEncoderFactory encoders(false, preset);
    platform.encoders = &encoders;
    platform.port = 38018;
    // The app's cursor source: with the pointer at rest it looks for the cursor
    // rarely, which the streamer's timing must not lean on.
    const QByteArray serverName = server.displayName();
    platform.makePointer = [serverName] { return std::make_unique<x11::X11Pointer>(serverName.constData()); };
    DisplayStreamer streamer(display, false, platform);
    streamer.startListener();
    streamer.startCapture();
    PaintLog log;
    MarkerReader phone(platform.port, log);

    // Full motion: every 1/60 s every pixel row changes (moving bars of changing
    // colours), and the counter is drawn last, so a picture that shows a number
    // shows all of that change.
    std::atomic<bool> painting{true};
    std::atomic<std::uint32_t> painted{0};
    std::thread painter([&] {
        pthread_setname_np(pthread_self(), "bench-painter");
        const int bars = 48;
        const int barWidth = (width + bars - 1) / bars;
        auto next = std::chrono::steady_clock::now();
        for (std::uint32_t number = 1; painting; ++number) {
            for (int bar = 0; bar < bars; ++bar) {
                const std::uint32_t shade = (number * 7 + std::uint32_t(bar) * 23) & 0xFF;
                window.fill((bar * barWidth + int(number) * 5) % width, 0, barWidth, height,
                            (shade << 16) | ((255 - shade) << 8) | ((shade * 3) & 0xFF), false);
            }
            const std::uint32_t shown = number % (1u << markerBits);
            for (int bit = 0; bit < markerBits; ++bit) {
                window.fill(bit * markerSquare, 0, markerSquare, markerSquare,
                            (shown >> bit) & 1u ? 0xFFFFFF : 0x000000, false);
            }
            window.sync();
            log.completed(shown, std::chrono::steady_clock::now());
            if (shown == (1u << markerBits) - 1) {
                painting = false;
            }
            painted = number;
            next += std::chrono::microseconds(16667);
            std::this_thread::sleep_until(next);
        }
    });
    // Warm-up: the first keyframe and the encoder's start are not what a user waits for.
    std::this_thread::sleep_for(1s);
    phone.takeLatencies();
    const std::uint64_t framesBefore = phone.framesArrived();
    const std::uint64_t repeatsBefore = phone.repeats();
    const std::uint64_t droppedBefore = streamer.statistics().framesDropped;
    const double streamerBefore = ownThreadsCpuSeconds();
    const QString serverStat = QStringLiteral("/proc/%1/stat").arg(server.pid());
    const double serverBefore = cpuSecondsOf(serverStat);
    const SteadyTime started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double elapsed = millisecondsBetween(started, std::chrono::steady_clock::now()) / 1000.0;
    const std::uint64_t frames = phone.framesArrived() - framesBefore;
    const double streamerCpu = ownThreadsCpuSeconds() - streamerBefore;
    const double serverCpu = cpuSecondsOf(serverStat) - serverBefore;
    painting = false;
    painter.join();
    figures.latencies = phone.takeLatencies();
    figures.decoded = phone.framesArrived() - framesBefore;
    figures.repeats = phone.repeats() - repeatsBefore;
    figures.framesPerSecond = double(frames) / elapsed;
    figures.streamerMsPerFrame = frames > 0 ? streamerCpu * 1000.0 / double(frames) : 0;
    figures.serverMsPerFrame = frames > 0 ? serverCpu * 1000.0 / double(frames) : 0;
    figures.dropped = streamer.statistics().framesDropped - droppedBefore;
    figures.profile = phone.profile();
    streamer.stop();
    return figures;
}

void measure(const test::XorgServer &server, int width, int height, double seconds, int runs, const char *preset)
{
    std::vector<double> all;
    std::vector<double> medians;
    std::vector<double> p99s;
    std::vector<double> rates;
    std::vector<double> streamerCpu;
    std::vector<double> serverCpu;
    for (int run = 0; run < runs; ++run) {
        const RunFigures figures = runOnce(server, width, height, seconds, preset);
        if (figures.latencies.empty()) {
            std::printf("%dx%d run %d: no frame showed a change\n", width, height, run + 1);
            continue;
        }
        std::printf("%dx%d run %d: %.1f frames/s, change-to-socket median %.2f ms, p99 %.2f ms, max %.2f ms, "
                    "CPU per frame %.2f ms streamer + %.2f ms X server, %llu dropped, H.264 profile %d, %llu of %llu "
                    "frames showed no newer change\n",
                    width, height, run + 1, figures.framesPerSecond, percentile(figures.latencies, 0.5),
                    percentile(figures.latencies, 0.99), percentile(figures.latencies, 1.0), figures.streamerMsPerFrame,
                    figures.serverMsPerFrame, static_cast<unsigned long long>(figures.dropped), figures.profile,
                    static_cast<unsigned long long>(figures.repeats), static_cast<unsigned long long>(figures.decoded));
        all.insert(all.end(), figures.latencies.begin(), figures.latencies.end());
        medians.push_back(percentile(figures.latencies, 0.5));
        p99s.push_back(percentile(figures.latencies, 0.99));
        rates.push_back(figures.framesPerSecond);
        streamerCpu.push_back(figures.streamerMsPerFrame);
        serverCpu.push_back(figures.serverMsPerFrame);
    }
    if (all.empty()) {
        return;
    }
    std::printf("%dx%d, libx264 %s, %d runs of %.0f s, %zu changes:\n", width, height, preset, int(medians.size()),
                seconds, all.size());
    std::printf("  change-to-socket, all runs    min %6.2f  median %6.2f  p99 %6.2f  max %6.2f ms\n",
                percentile(all, 0.0), percentile(all, 0.5), percentile(all, 0.99), percentile(all, 1.0));
    printRange("median of a run", medians, "ms");
    printRange("p99 of a run", p99s, "ms");
    printRange("frames per second", rates, "");
    printRange("streamer CPU per frame", streamerCpu, "ms");
    printRange("X server CPU per frame", serverCpu, "ms");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const char *preset = argc > 3 ? argv[3] : "ultrafast";
    test::XorgServer server;
    if (!server.isRunning()) {
        std::printf("no X server: %s\n", qPrintable(server.problem()));
        return 1;
    }
    measure(server, 1920, 864, seconds, runs, preset);
    measure(server, 2560, 1152, seconds, runs, preset);
    return 0;
}
