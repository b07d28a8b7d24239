// Streams a virtual display with full-motion content to a loopback reader and
// prints frames per second and the latency from capture to the frame packet's last
// byte in the socket (median, 99th percentile); then measures the CPU the
// streamer uses while the display does not change.
//
//   display_stream_bench [seconds per run] [x264 preset]

#include "BenchMeasures.h"
#include "display/DisplayStreamer.h"
#include "display/VirtualDisplay.h"
#include "platform/libav/LibavVideoEncoder.h"
#include "platform/x11/X11Pointer.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11VirtualMonitors.h"
#include "support/X11TestWindow.h"
#include "support/XorgServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace lumarient;
using namespace std::chrono_literals;
using lumarient::bench::percentile;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The phone: reads and throws away everything, as fast as loopback allows.
class DrainingReader {
public:
    DrainingReader()
    {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(38018);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (::connect(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        thread_ = std::thread([this] {
            char buffer[1 << 16];
            while (::recv(socket_, buffer, sizeof buffer, 0) > 0) {
            }
        });
    }
    ~DrainingReader()
    {
        ::shutdown(socket_, SHUT_RDWR);
        thread_.join();
        ::close(socket_);
    }

private:
    int socket_ = -1;
    std::thread thread_;
};

void run(const test::XorgServer &server, int width, int height, bool overWifi, double seconds, const char *preset)
{
    x11::X11VirtualMonitorFactory monitors(nullptr, server.displayName());
    x11::X11ScreenCaptureFactory captures(server.displayName());
    std::shared_ptr<VirtualDisplay> display = VirtualDisplay::create(monitors, "Lumarient Display", width, height, 60);
    if (!display) {
        std::printf("no virtual display\n");
        return;
    }
    test::X11TestWindow window(server.displayName(), 1920, 0, width, height);
    DisplayStreamer::Platform platform;
    platform.captures = &captures;
    const char *name = server.displayName();
    platform.makePointer = [name] { return std::make_unique<x11::X11Pointer>(name); };
    libav::LibavVideoEncoderFactory encoders(true, preset);
    platform.encoders = &encoders;
    DisplayStreamer streamer(display, overWifi, platform);
    std::mutex mutex;
    std::vector<double> latencies;
    streamer.setFrameWrittenObserver([&](std::uint32_t, double captured, double written) {
        std::lock_guard lock(mutex);
        latencies.push_back((written - captured) * 1000.0);
    });
    streamer.startListener();
    streamer.startCapture();
    DrainingReader phone;

    // Full motion: every frame, every pixel row changes (moving bars of changing colours).
    std::atomic<bool> animating{true};
    std::atomic<std::uint64_t> painted{0};
    std::thread painter([&] {
        const int bars = 48;
        std::uint32_t frame = 0;
        auto next = std::chrono::steady_clock::now();
        while (animating) {
            const int barWidth = (width + bars - 1) / bars;
            for (int bar = 0; bar < bars; ++bar) {
                const std::uint32_t shade = (frame * 7 + std::uint32_t(bar) * 23) & 0xFF;
                window.fill((bar * barWidth + int(frame) * 5) % width, 0, barWidth, height,
                            (shade << 16) | ((255 - shade) << 8) | ((shade * 3) & 0xFF), false);
            }
            window.sync();
            ++frame;
            ++painted;
            next += std::chrono::microseconds(16667);
            std::this_thread::sleep_until(next);
        }
    });
    std::this_thread::sleep_for(1s);
    {
        std::lock_guard lock(mutex);
        latencies.clear();
    }
    const auto dropped = streamer.statistics().framesDropped.load();
    const auto paintedBefore = painted.load();
    const auto started = std::chrono::steady_clock::now();
    const double cpuBefore = cpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double cpuMotion = cpuSeconds() - cpuBefore;
    const double paintedPerSecond = double(painted - paintedBefore) / elapsed;
    std::vector<double> sample;
    {
        std::lock_guard lock(mutex);
        sample = latencies;
    }
    animating = false;
    painter.join();

    std::printf("%dx%d content changed %.1f times/s\n", width, height, paintedPerSecond);
    std::printf("%dx%d %s, %s (%s): %.1f frames/s, latency median %.2f ms, p99 %.2f ms, max %.2f ms, "
                "dropped %llu, CPU %.0f%% of a core (streamer, painter and reader)\n",
                width, height, overWifi ? "Wi-Fi" : "cable", qPrintable(streamer.encoderName()), preset,
                double(sample.size()) / elapsed, percentile(sample, 0.5), percentile(sample, 0.99),
                percentile(sample, 1.0), static_cast<unsigned long long>(streamer.statistics().framesDropped - dropped),
                100.0 * cpuMotion / elapsed);

    // Static display: the phone stays connected, nothing changes.
    std::this_thread::sleep_for(1s);
    const auto capturedBefore = streamer.statistics().framesCaptured.load();
    const double cpuStaticBefore = cpuSeconds();
    const auto staticStarted = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double staticElapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - staticStarted).count();
    std::printf("%dx%d static display: CPU %.2f%% of a core, %llu frames captured\n", width, height,
                100.0 * (cpuSeconds() - cpuStaticBefore) / staticElapsed,
                static_cast<unsigned long long>(streamer.statistics().framesCaptured - capturedBefore));
    std::fflush(stdout);
    streamer.stop();
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const char *preset = argc > 2 ? argv[2] : "ultrafast";
    test::XorgServer server;
    if (!server.isRunning()) {
        std::printf("no X server: %s\n", qPrintable(server.problem()));
        return 1;
    }
    run(server, 1920, 864, true, seconds, preset);
    run(server, 2560, 1152, false, seconds, preset);
    return 0;
}
