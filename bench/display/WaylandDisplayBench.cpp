// The second display on a Wayland desktop: headless mutter's virtual monitor
// through the portal (a stand-in that asks mutter's own screen cast), read from
// PipeWire, encoded and sent to a loopback phone. Content changes by moving the
// pointer over the monitor (the cursor is drawn into the picture) once a frame
// period; a change counts from the moment its pointer event is sent to the last
// byte of the first frame packet showing the cursor there. Prints frames per
// second, change-to-socket latency (median, p99) and CPU per frame, then the CPU
// of the streamer and of mutter while the monitor is still; min / median / max
// over the runs.
//
//   display_wayland_bench [seconds per run] [runs] [x264 preset]

#include "BenchMeasures.h"
#include "StampedFrameReader.h"
#include "display/DisplayStreamer.h"
#include "display/VirtualDisplay.h"
#include "platform/libav/LibavHandles.h"
#include "platform/libav/LibavVideoEncoder.h"
#include "platform/portal/PortalPointer.h"
#include "platform/portal/PortalVirtualMonitors.h"
#include "platform/portal/ScreenCastSession.h"
#include "support/FakePortal.h"
#include "support/HeadlessMutter.h"

#include <QCoreApplication>
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
#include <optional>
#include <thread>
#include <vector>

using namespace lumarient;
using namespace std::chrono_literals;

namespace {

using namespace bench;

constexpr int width = 1920;
constexpr int height = 864;
// The pointer walks along one row in steps wide enough to tell apart after encoding.
constexpr int pointerRow = 400;
constexpr int firstColumn = 100;
constexpr int step = 24;
constexpr int positions = 64;

// When each numbered pointer move was sent; move n goes to position n % positions.
class MoveLog {
public:
    void sent(SteadyTime at)
    {
        std::lock_guard lock(mutex_);
        times_.push_back(at);
    }
    // The last move to `position` sent by `arrived`, or nothing.
    std::optional<SteadyTime> lastSentTo(int position, SteadyTime arrived)
    {
        std::lock_guard lock(mutex_);
        const auto after = std::upper_bound(times_.begin(), times_.end(), arrived);
        if (after == times_.begin()) {
            return std::nullopt;
        }
        const long last = long(after - times_.begin()) - 1;
        const long number = last - ((last - position) % positions + positions) % positions;
        return number >= 0 ? std::optional<SteadyTime>(times_[std::size_t(number)]) : std::nullopt;
    }

private:
    std::mutex mutex_;
    std::vector<SteadyTime> times_;
};

// The phone: finds the cursor's left edge on the pointer's row of each decoded picture.
class CursorReader {
public:
    explicit CursorReader(std::uint16_t port) : frames_(port) {}

    // The cursor positions shown by the frames that arrived so far, with their arrival times.
    std::vector<std::pair<int, SteadyTime>> takeShownPositions()
    {
        std::vector<std::pair<int, SteadyTime>> shown;
        frames_.decodeArrived([&](const AVFrame &picture, SteadyTime arrived) {
            const int position = positionIn(picture);
            if (position >= 0) {
                shown.push_back({position, arrived});
            }
        });
        return shown;
    }

    std::uint64_t framesArrived() const { return frames_.framesArrived(); }

private:
    // The position index whose column the cursor's left edge is nearest, or -1.
    static int positionIn(const AVFrame &picture)
    {
        int left = picture.width;
        for (int row = pointerRow + 2; row < pointerRow + 12 && row < picture.height; ++row) {
            const std::uint8_t *luma = picture.data[0] + row * picture.linesize[0];
            for (int x = 0; x < left; ++x) {
                if (luma[x] > 100) {
                    left = x;
                    break;
                }
            }
        }
        return left < picture.width ? std::clamp((left - firstColumn + step / 2) / step, 0, positions - 1) : -1;
    }

    bench::StampedFrameReader frames_;
};

struct RunFigures {
    std::vector<double> latencies;
    double framesPerSecond = 0;
    double streamerMsPerFrame = 0;
    double compositorMsPerFrame = 0;
    double streamerStillPercent = 0;
    double compositorStillPercent = 0;
    std::uint64_t stillFrames = 0;
};

RunFigures runOnce(test::HeadlessMutter &mutter, double seconds, const char *preset)
{
    RunFigures figures;
    test::FakePortal portal(mutter.bus().address(), mutter.runtimeFolder());
    portal::PortalVirtualMonitorFactory monitors(mutter.bus().connect(QStringLiteral("bench-client")), nullptr);
    portal::PortalScreenCaptureFactory captures(monitors);
    const auto attempt = std::make_shared<VirtualMonitorAttempt>();
    std::shared_ptr<VirtualDisplay> display =
        VirtualDisplay::create(monitors, "Lumarient Display", width, height, 60, attempt);
    if (!display) {
        std::printf("no virtual monitor: %s\n", qPrintable(attempt->failure()));
        return figures;
    }
    const std::shared_ptr<portal::ScreenCastSession> session = monitors.newestSession();
    DisplayStreamer::Platform platform;
    platform.captures = &captures;
    libav::LibavVideoEncoderFactory encoders(false, preset);
    platform.encoders = &encoders;
    platform.port = 38018;
    // As in the app: the pointer goes to the session; the stream draws the cursor.
    platform.makePointer = [session] { return std::make_unique<portal::PortalPointer>(session); };
    DisplayStreamer streamer(display, false, platform);
    streamer.startListener();
    streamer.startCapture();
    CursorReader phone(platform.port);
    MoveLog moves;

    std::atomic<bool> moving{true};
    std::thread mover([&] {
        pthread_setname_np(pthread_self(), "bench-mover");
        auto next = std::chrono::steady_clock::now();
        for (int number = 0; moving; ++number) {
            const int position = number % positions;
            moves.sent(std::chrono::steady_clock::now());
            session->movePointer(firstColumn + position * step, pointerRow);
            next += std::chrono::microseconds(16667);
            std::this_thread::sleep_until(next);
        }
    });
    std::this_thread::sleep_for(1s);
    phone.takeShownPositions();
    const QString compositorStat = QStringLiteral("/proc/%1/stat").arg(mutter.compositorPid());
    const std::uint64_t framesBefore = phone.framesArrived();
    const double streamerBefore = ownThreadsCpuSeconds();
    const double compositorBefore = cpuSecondsOf(compositorStat);
    const SteadyTime started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double elapsed = millisecondsBetween(started, std::chrono::steady_clock::now()) / 1000.0;
    const std::uint64_t frames = phone.framesArrived() - framesBefore;
    const double streamerCpu = ownThreadsCpuSeconds() - streamerBefore;
    const double compositorCpu = cpuSecondsOf(compositorStat) - compositorBefore;
    moving = false;
    mover.join();
    for (const auto &[position, arrived] : phone.takeShownPositions()) {
        if (const std::optional<SteadyTime> sent = moves.lastSentTo(position, arrived)) {
            figures.latencies.push_back(millisecondsBetween(*sent, arrived));
        }
    }
    figures.framesPerSecond = double(frames) / elapsed;
    figures.streamerMsPerFrame = frames > 0 ? streamerCpu * 1000.0 / double(frames) : 0;
    figures.compositorMsPerFrame = frames > 0 ? compositorCpu * 1000.0 / double(frames) : 0;

    // Still: nothing moves for a while.
    std::this_thread::sleep_for(500ms);
    const std::uint64_t stillBefore = phone.framesArrived();
    const double streamerStill = ownThreadsCpuSeconds();
    const double compositorStill = cpuSecondsOf(compositorStat);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    figures.streamerStillPercent = (ownThreadsCpuSeconds() - streamerStill) * 100.0 / seconds;
    figures.compositorStillPercent = (cpuSecondsOf(compositorStat) - compositorStill) * 100.0 / seconds;
    figures.stillFrames = phone.framesArrived() - stillBefore;
    streamer.stop();
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const char *preset = argc > 3 ? argv[3] : "ultrafast";
    test::HeadlessMutter mutter;
    if (!mutter.isRunning()) {
        std::printf("no headless mutter: %s\n", qPrintable(mutter.problem()));
        return 1;
    }
    std::vector<double> medians, p99s, rates, streamerCpu, compositorCpu, streamerStill, compositorStill, stillFrames;
    for (int run = 0; run < runs; ++run) {
        const RunFigures figures = runOnce(mutter, seconds, preset);
        std::printf("%dx%d run %d: %.1f frames/s, change-to-socket median %.2f ms, p99 %.2f ms (%zu changes), CPU "
                    "per frame %.2f ms streamer + %.2f ms mutter; still: %.1f%% streamer, %.1f%% mutter, %llu "
                    "frames\n",
                    width, height, run + 1, figures.framesPerSecond, percentile(figures.latencies, 0.5),
                    percentile(figures.latencies, 0.99), figures.latencies.size(), figures.streamerMsPerFrame,
                    figures.compositorMsPerFrame, figures.streamerStillPercent, figures.compositorStillPercent,
                    static_cast<unsigned long long>(figures.stillFrames));
        if (!figures.latencies.empty()) {
            medians.push_back(percentile(figures.latencies, 0.5));
            p99s.push_back(percentile(figures.latencies, 0.99));
        }
        rates.push_back(figures.framesPerSecond);
        streamerCpu.push_back(figures.streamerMsPerFrame);
        compositorCpu.push_back(figures.compositorMsPerFrame);
        streamerStill.push_back(figures.streamerStillPercent);
        compositorStill.push_back(figures.compositorStillPercent);
        stillFrames.push_back(double(figures.stillFrames));
    }
    std::printf("%dx%d on headless mutter, libx264 %s, %d runs of %.0f s:\n", width, height, preset, runs, seconds);
    printRange("change-to-socket median", medians, "ms");
    printRange("change-to-socket p99", p99s, "ms");
    printRange("frames per second", rates, "");
    printRange("streamer CPU per frame", streamerCpu, "ms");
    printRange("mutter CPU per frame", compositorCpu, "ms");
    printRange("streamer CPU while still", streamerStill, "%");
    printRange("mutter CPU while still", compositorStill, "%");
    printRange("frames sent while still", stillFrames, "");
    std::fflush(stdout);
    return 0;
}
