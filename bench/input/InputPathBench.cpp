// Keyboard and mouse sharing on its real path: Xorg with the dummy driver, the
// X11 tap, the capture and the input server link, with a stand-in phone that
// stamps every record as it comes out of the pipe. Prints:
//  (a) the time from an X event (relative XTest motion, a key) to its record
//      leaving the pipe: min, median, p99, max, per run and over all runs;
//  (b) 1000 Hz motion for 10 s while a phone is driven: movement records per
//      second, and the distance sent against the distance moved;
//  (c) the CPU time of this process while the pointer moves on the computer
//      and no phone is driven, next to the same time with the pointer at rest.
//
//   bench_input_path [seconds for (b) and (c)]
//
// The same executable plays the phone's input server (--phone) and the mouse
// (--mover), each in a process of its own so that their work is not counted.

#include "devices/ScrcpySupervisor.h"
#include "input/InputRecords.h"
#include "input/SeamlessInputManager.h"
#include "platform/Sleeper.h"
#include "platform/UserDefaults.h"
#include "platform/x11/X11DisplayLayout.h"
#include "platform/x11/X11InputTap.h"
#include "platform/x11/X11VirtualMonitors.h"
#include "platform/x11/X11WindowList.h"
#include "support/XTestClient.h"
#include "support/XorgServer.h"
#include "tooling/ADB.h"
#include "tooling/ToolPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using namespace lumarient;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const char *const fifoVariable = "LUMARIENT_BENCH_RECORDS";

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

struct Stamped {
    std::int64_t ns = 0;
    unsigned char record[8] = {};
};

// --phone: the input server's stand-in. Every 8-byte record read from standard
// input goes to the bench's FIFO with the moment it was read.
int runPhone()
{
    const int out = ::open(std::getenv(fifoVariable), O_WRONLY);
    if (out < 0)
        return 1;
    Stamped stamped;
    std::size_t have = 0;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, stamped.record + have, sizeof stamped.record - have);
        if (got <= 0)
            return 0;
        have += std::size_t(got);
        if (have < sizeof stamped.record)
            continue;
        stamped.ns = nowNs();
        if (::write(out, &stamped, sizeof stamped) != ssize_t(sizeof stamped))
            return 1;
        have = 0;
    }
}

// --mover DISPLAY MODE SECONDS: relative XTest motion at 1000 Hz. "phone" goes
// mostly right (a driven phone's cursor never reaches the way back); "desktop"
// wiggles about the middle of the main display. Prints the distance moved.
int runMover(const char *display, const QString &mode, double seconds)
{
    test::XTestClient mouse(display);
    const bool phone = mode == QLatin1String("phone");
    long long movedX = 0, movedY = 0;
    const auto start = Clock::now();
    const int count = int(seconds * 1000);
    for (int i = 0; i < count; ++i) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(i));
        const int dx = phone ? (i % 2 == 0 ? 3 : -1) : (i % 200 < 100 ? 2 : -2);
        const int dy = phone ? (i % 2 == 0 ? 1 : -1) : ((i + 50) % 200 < 100 ? 2 : -2);
        mouse.move(dx, dy);
        movedX += dx;
        movedY += dy;
    }
    std::printf("%lld %lld %d\n", movedX, movedY, count);
    return 0;
}

// The records the stand-in phone reports, in order.
class RecordLog {
public:
    explicit RecordLog(const QString &path) : path_(path.toLocal8Bit())
    {
        ::mkfifo(path_.constData(), 0600);
        // Read and write, so that the open does not wait for the phone.
        fd_ = ::open(path_.constData(), O_RDWR);
        thread_ = std::thread([this] {
            Stamped stamped;
            while (::read(fd_, &stamped, sizeof stamped) == ssize_t(sizeof stamped) && stamped.ns >= 0) {
                std::lock_guard lock(mutex_);
                records_.push_back(stamped);
            }
        });
    }
    ~RecordLog()
    {
        Stamped stop;
        stop.ns = -1;
        [[maybe_unused]] const ssize_t written = ::write(fd_, &stop, sizeof stop);
        thread_.join();
        ::close(fd_);
    }
    std::vector<Stamped> since(std::size_t index)
    {
        std::lock_guard lock(mutex_);
        return {records_.begin() + std::ptrdiff_t(std::min(index, records_.size())), records_.end()};
    }
    std::size_t size()
    {
        std::lock_guard lock(mutex_);
        return records_.size();
    }

private:
    QByteArray path_;
    int fd_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Stamped> records_;
};

bool isMouse(const Stamped &stamped)
{
    return stamped.record[0] == InputRecords::mouseKind;
}

std::int16_t field16(const Stamped &stamped, int at)
{
    return std::int16_t((stamped.record[at] << 8) | stamped.record[at + 1]);
}

// Runs the event loop until `condition` holds or `limit` passes.
bool spinUntil(const std::function<bool()> &condition, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        std::this_thread::sleep_for(50us);
    }
    return true;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void printFigures(const char *what, std::vector<double> values)
{
    if (values.empty()) {
        std::printf("%s: no samples\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    const auto at = [&](double fraction) {
        return values[std::min(values.size() - 1, std::size_t(std::ceil(fraction * double(values.size()))) - 1)];
    };
    std::printf("%s (%zu): min %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms\n", what, values.size(),
                values.front(), at(0.5), at(0.99), values.back());
}

class Bench {
public:
    explicit Bench(const test::XorgServer &server) : server_(server)
    {
        const QString adb = folder_.filePath(QStringLiteral("adb"));
        QFile script(adb);
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\n"
                                    "shift 2\n"
                                    "case \"$*\" in\n"
                                    "push*) exit 0 ;;\n"
                                    "*app_process*) echo 'LumarientInput ready'; exec '%1' --phone ;;\n"
                                    "*'wm size'*) echo 'Physical size: 1920x1080' ;;\n"
                                    "esac\n")
                         .arg(QCoreApplication::applicationFilePath())
                         .toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        const QString jar = folder_.filePath(QStringLiteral("prefix/share/lumarient/lumarient-input.jar"));
        QDir().mkpath(QFileInfo(jar).path());
        QFile archive(jar);
        archive.open(QIODevice::WriteOnly);
        archive.write("stand-in");
        archive.close();
        defaults_.setValue(QStringLiteral("adbPath"), adb);
        defaults_.setValue(QStringLiteral("scrcpyPath"), folder_.filePath(QStringLiteral("no-scrcpy")));
        qputenv(fifoVariable, fifoPath().toLocal8Bit());
    }

    QString fifoPath() const { return folder_.filePath(QStringLiteral("records")); }

    bool start()
    {
        const char *display = server_.displayName();
        monitors_ = std::make_unique<x11::X11VirtualMonitorFactory>(nullptr, display);
        layout_ = std::make_unique<x11::X11DisplayLayout>(display);
        tap_ = std::make_unique<x11::X11InputTap>(display);
        windows_ = std::make_unique<x11::X11WindowList>(display);
        user_ = std::make_unique<test::XTestClient>(display);
        SeamlessInputManager::Platform platform{monitors_.get(), layout_.get(), tap_.get(), windows_.get(), &scrcpy_};
        manager_ = std::make_unique<SeamlessInputManager>(
            platform, SeamlessInputManager::Dependencies{paths_, adb_, defaults_, folder_.path()});
        DeviceConfig config;
        config.id = QUuid::createUuid();
        config.name = QStringLiteral("Bench");
        ConnectedDevice device;
        device.serial = QStringLiteral("BENCH01");
        device.state = DeviceState::ready;
        manager_->start(config, device);
        return spinUntil([&] { return manager_->capture() != nullptr && tap_->barrierCount() > 0; }, 20s);
    }

    bool captured() const { return manager_->capture()->activeDisplayID().has_value(); }

    bool enter()
    {
        user_->warp(1900, 540);
        for (int step = 0; step < 40 && !captured(); ++step) {
            user_->move(10, 0);
            spinUntil([] { return false; }, 5ms);
        }
        // Away from the edge the phone was entered through.
        user_->move(200, 0);
        return captured();
    }

    bool leave()
    {
        user_->press(KEY_LEFTCTRL + 8);
        user_->press(KEY_ESC + 8);
        const bool left = spinUntil([&] { return !captured(); }, 2s);
        user_->releaseKey(KEY_ESC + 8);
        user_->releaseKey(KEY_LEFTCTRL + 8);
        return left;
    }

    // (a): one X event at a time, each waited for at the phone.
    void latency(int runs, int perRun)
    {
        std::vector<double> allMotion, allKeys;
        for (int run = 1; run <= runs; ++run) {
            std::vector<double> motion, keys;
            for (int i = 0; i < perRun; ++i) {
                // Spread over the movement flush's period.
                spinUntil([] { return false; }, std::chrono::milliseconds(3 + i % 7));
                for (const bool key : {false, true}) {
                    const std::size_t before = log_.size();
                    const std::int64_t sent = nowNs();
                    if (key)
                        (i % 2 == 0 ? user_->press(KEY_A + 8) : user_->releaseKey(KEY_A + 8));
                    else
                        user_->move(i % 2 == 0 ? 2 : -2, 1);
                    // The first record of the event's own kind that left the pipe after it was sent.
                    std::optional<std::int64_t> arrived;
                    spinUntil(
                        [&] {
                            for (const Stamped &stamped : log_.since(before)) {
                                if (stamped.ns >= sent && isMouse(stamped) != key) {
                                    arrived = stamped.ns;
                                    return true;
                                }
                            }
                            return false;
                        },
                        500ms);
                    if (arrived)
                        (key ? keys : motion).push_back(double(*arrived - sent) / 1e6);
                }
            }
            printFigures(qPrintable(QStringLiteral("  run %1, motion to record").arg(run)), motion);
            printFigures(qPrintable(QStringLiteral("  run %1, key to record").arg(run)), keys);
            allMotion.insert(allMotion.end(), motion.begin(), motion.end());
            allKeys.insert(allKeys.end(), keys.begin(), keys.end());
        }
        printFigures("(a) XTest relative motion to record on the pipe, all runs", allMotion);
        printFigures("(a) XTest key to record on the pipe, all runs", allKeys);
    }

    // Runs the mover for `seconds` while the event loop sleeps between events,
    // as the app's does; the mover's figures (moved x, moved y, events).
    std::vector<long long> move(const QString &mode, double seconds)
    {
        QProcess mover;
        QEventLoop loop;
        QObject::connect(&mover, &QProcess::finished, &loop, &QEventLoop::quit);
        mover.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--mover"), QString::fromLatin1(server_.displayName()), mode, QString::number(seconds)});
        if (mover.waitForStarted())
            loop.exec();
        std::vector<long long> figures;
        for (const QByteArray &word : mover.readAllStandardOutput().simplified().split(' '))
            figures.push_back(word.toLongLong());
        figures.resize(3);
        return figures;
    }

    // (b): a phone driven at 1000 Hz.
    void motionRate(double seconds)
    {
        const std::size_t before = log_.size();
        const std::vector<long long> moved = move(QStringLiteral("phone"), seconds);
        spinUntil([] { return false; }, 100ms);
        long long sentX = 0, sentY = 0;
        std::size_t records = 0;
        std::int64_t first = 0, last = 0;
        for (const Stamped &stamped : log_.since(before)) {
            if (!isMouse(stamped))
                continue;
            sentX += field16(stamped, 2);
            sentY += field16(stamped, 4);
            first = records == 0 ? stamped.ns : first;
            last = stamped.ns;
            ++records;
        }
        const double span = double(last - first) / 1e9;
        std::printf("(b) %lld XTest motions in %.0f s: %zu movement records, %.1f records/s over %.2f s\n", moved[2],
                    seconds, records, span > 0 ? double(records - 1) / span : 0.0, span);
        std::printf("(b) distance moved x %lld y %lld, sent x %lld y %lld: %s\n", moved[0], moved[1], sentX, sentY,
                    moved[0] == sentX && moved[1] == sentY ? "nothing lost" : "DIFFERENT");
    }

    // (c): the pointer on the computer, no phone driven.
    void idleCost(double seconds)
    {
        user_->warp(960, 540);
        const double restStart = cpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(int(seconds * 1000)), &loop, &QEventLoop::quit);
        loop.exec();
        const double rest = cpuSeconds() - restStart;
        const double moveStart = cpuSeconds();
        const std::vector<long long> moved = move(QStringLiteral("desktop"), seconds);
        const double moving = cpuSeconds() - moveStart;
        std::printf("(c) pointer at rest %.0f s: CPU %.3f s (%.2f%% of a core)\n", seconds, rest, 100 * rest / seconds);
        std::printf("(c) pointer moving %.0f s (%lld XTest motions at 1000 Hz): CPU %.3f s (%.2f%% of a core), "
                    "phone still on the computer: %s\n",
                    seconds, moved[2], moving, 100 * moving / seconds, captured() ? "no" : "yes");
    }

    void stop()
    {
        manager_.reset();
        // The phone's input server is ended from the event loop.
        spinUntil([] { return false; }, 300ms);
    }

private:
    const test::XorgServer &server_;
    QTemporaryDir folder_;
    UserDefaults defaults_{folder_.filePath(QStringLiteral("Lumarient.conf"))};
    ToolPaths paths_{defaults_, folder_.filePath(QStringLiteral("prefix"))};
    ADB adb_{paths_, ThreadSleeper::instance()};
    ScrcpySupervisor scrcpy_{paths_};
    RecordLog log_{fifoPath()};
    std::unique_ptr<x11::X11VirtualMonitorFactory> monitors_;
    std::unique_ptr<x11::X11DisplayLayout> layout_;
    std::unique_ptr<x11::X11InputTap> tap_;
    std::unique_ptr<x11::X11WindowList> windows_;
    std::unique_ptr<test::XTestClient> user_;
    std::unique_ptr<SeamlessInputManager> manager_;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--phone") == 0)
        return runPhone();
    if (argc > 4 && std::strcmp(argv[1], "--mover") == 0)
        return runMover(argv[2], QString::fromLatin1(argv[3]), std::atof(argv[4]));

    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
    test::XorgServer server;
    if (!server.isRunning()) {
        std::printf("no X server: %s\n", qPrintable(server.problem()));
        return 1;
    }
    Bench bench(server);
    if (!bench.start()) {
        std::printf("the session did not start\n");
        return 1;
    }
    if (!bench.enter()) {
        std::printf("the pointer did not cross onto the phone\n");
        return 1;
    }
    bench.latency(5, 100);
    bench.motionRate(seconds);
    if (!bench.leave()) {
        std::printf("Control+Escape did not return\n");
        return 1;
    }
    bench.idleCost(seconds);
    bench.stop();
    return 0;
}
