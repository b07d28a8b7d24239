// Prints min/median/max over 20 rounds of the time from a phone drag reaching
// the app window manager to the app's desktop window raised (the window list
// reporting it active), with phone-sim's scrcpy stand-in showing its window at
// once; then the CPU time this process spends per second with no app window,
// and while one app window is open and nothing is dragged (the drop sampling
// alone), each over `--idle-seconds` (10 by default). Starts its own Xorg-dummy and openbox.

#include "AppWindowHarness.h"
#include "appwindows/WindowListCache.h"
#include "input/InputFakes.h"
#include "platform/x11/X11WindowList.h"
#include "support/OpenboxSession.h"
#include "support/XorgServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void print(const char *what, std::vector<double> values, const char *unit)
{
    std::sort(values.begin(), values.end());
    std::printf("%-44s min %8.2f  median %8.2f  max %8.2f %s (n=%zu)\n", what, values.front(),
                values[values.size() / 2], values.back(), unit, values.size());
}

// Our CPU time per second of an idle event loop (no polling of our own), `seconds` times.
std::vector<double> idleCpu(int seconds)
{
    std::vector<double> perSecond;
    for (int second = 0; second < seconds; ++second) {
        const double before = cpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        perSecond.push_back((cpuSeconds() - before) * 1000.0);
    }
    return perSecond;
}

void restoreNotesTask(AppWindowHarness &h)
{
    h.sim_.update([](phonesim::SimState &state) {
        phonesim::SimPhone &phone = state.phones.front();
        std::erase_if(phone.tasks, [](const phonesim::SimTask &task) { return task.package == "com.example.notes"; });
        phone.tasks.insert(phone.tasks.begin(),
                           {AppWindowHarness::notesTask, "com.example.notes", 0, "freeform", 100, 200, 900, 1400});
    });
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    int idleSeconds = 10;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::max(1, std::atoi(argv[i + 1]));
    }
    XorgServer server;
    if (!server.isRunning()) {
        std::fprintf(stderr, "no X server: %s\n", qPrintable(server.problem()));
        return 1;
    }
    OpenboxSession openbox(server.displayName());
    if (!openbox.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(openbox.problem()));
        return 1;
    }
    qputenv("DISPLAY", server.displayName());
    x11::X11WindowList windows(server.displayName());
    AppWindowHarness h;
    WindowListCache cache(windows, SteadyClock::instance());
    // A stand-in display right of the main one, as during keyboard-and-mouse sharing.
    FakeLayout layout;
    layout.displays[1] = {0, 0, 1920, 1080};
    layout.displays[2] = {1920, 0, 1080, 1920};
    AppWindowManager &manager =
        h.make(&windows, ThreadSleeper::instance(),
               std::make_unique<WindowDragWatcher>(cache, layout, [] { return std::optional<std::uint32_t>(2); }));
    bool raised = false;
    QObject::connect(&manager, &AppWindowManager::windowRaised, [&](int, std::uint32_t) { raised = true; });

    std::vector<double> raiseMs;
    for (int round = 0; round < 20; ++round) {
        restoreNotesTask(h);
        raised = false;
        QElapsedTimer timer;
        timer.start();
        manager.handleDrag(AppWindowHarness::notesDrag(), AppWindowHarness::serial);
        if (!spinUntil([&] { return raised; }, 10s)) {
            std::fprintf(stderr, "round %d: the window was never raised\n", round);
            return 1;
        }
        raiseMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        manager.stopAll();
        spinUntil([&] { return h.scrcpy.runningCount() == 0; }, 10s);
    }
    print("drag -> desktop window raised", raiseMs, "ms");

    // Nothing open, then one window open and nothing dragged: only the drop sampling runs.
    print("idle CPU, no app window", idleCpu(idleSeconds), "ms CPU per s");
    restoreNotesTask(h);
    raised = false;
    manager.handleDrag(AppWindowHarness::notesDrag(), AppWindowHarness::serial);
    spinUntil([&] { return raised; }, 10s);
    spinFor(1s);
    if (!manager.dragWatcher()->isRunning())
        std::fprintf(stderr, "the drop watcher does not run\n");
    print("idle CPU, one app window (drop sampling)", idleCpu(idleSeconds), "ms CPU per s");
    manager.stopAll();
    spinUntil([&] { return h.scrcpy.runningCount() == 0; }, 10s);
    qunsetenv("DISPLAY");
    return 0;
}
