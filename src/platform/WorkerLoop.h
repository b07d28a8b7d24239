#pragma once

#include "platform/FileDescriptor.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lumarient {

// The name of a worker thread. The kernel keeps 15 characters of a thread's
// name, so names are checked when the program is compiled: they are "lum-"
// followed by what the thread serves, 15 characters at most in all:
// "lum-display", "lum-receiver", "lum-lanscan", "lum-netlink", "lum-input-write".
class ThreadName {
public:
    consteval ThreadName(const char *name) : name_(name)
    {
        std::size_t length = 0;
        while (name[length] != '\0')
            ++length;
        const bool prefixed = length > 4 && name[0] == 'l' && name[1] == 'u' && name[2] == 'm' && name[3] == '-';
        if (!prefixed || length > 15)
            throw "a worker thread is named lum-<what it serves>, 15 characters at most";
    }
    const char *get() const { return name_; }

private:
    const char *name_;
};

// One named thread that waits on file descriptors (epoll, level-triggered),
// timers on the monotonic clock and work posted from other threads, and runs
// their callbacks one at a time. Subsystems keep their socket and device work
// on such a loop instead of writing poll loops of their own.
//
// `post` and `stop` may be called from any thread. Watches, timers and the
// before-wait hook are set up on the loop's own thread, or before `start`.
// A callback may add or remove any watch or timer, its own included.
//
// Each turn runs, in this order: posted work (in posting order), the
// before-wait hook, the wait, the callbacks of descriptors found ready, then
// the timers that are due (earliest first; equal times in creation order).
class WorkerLoop {
public:
    using Clock = std::chrono::steady_clock;
    using Work = std::function<void()>;
    // What a descriptor is ready for: a set of these flags.
    enum Ready : unsigned { readable = 1u, writable = 2u, failed = 4u };
    using OnReady = std::function<void(unsigned ready)>;
    using WatchId = std::uint64_t;
    using TimerId = std::uint64_t;

    explicit WorkerLoop(ThreadName name);
    // Stops and joins the thread.
    ~WorkerLoop();
    WorkerLoop(const WorkerLoop &) = delete;
    WorkerLoop &operator=(const WorkerLoop &) = delete;

    // Starts the thread; a loop is started once.
    void start();
    // Ends the loop: work posted before this call still runs, then the thread
    // ends; no watch or timer callback runs after the running one returns.
    // Waits for the thread unless called on it. Work queued on a loop that
    // never started is dropped.
    void stop();
    bool isLoopThread() const { return std::this_thread::get_id() == loopThread_.load(); }

    // Runs `work` on the loop thread; false (and `work` dropped) once stop has been asked.
    bool post(Work work);

    // Calls `onReady` with the ready flags while `fd` is ready for any of
    // `interest` (readable | writable; an interest of 0 pauses the watch).
    // Errors and hang-ups are reported as ready for every interest, with `failed`
    // set on errors. Remove the watch before closing `fd`. 0 when `fd` cannot
    // be watched.
    WatchId watch(int fd, unsigned interest, OnReady onReady);
    void modify(WatchId watch, unsigned interest);
    void remove(WatchId watch);

    TimerId after(Clock::duration delay, Work work);
    // Every `period`, keeping to its grid; beats missed while the loop was busy
    // are skipped, not run in a burst.
    TimerId every(Clock::duration period, Work work);
    void cancel(TimerId timer);

    // Runs before every wait: for clients (such as window-system connections)
    // that must flush output or handle queued input their descriptor no longer
    // signals.
    void setBeforeWait(Work work);

private:
    struct Watch {
        int fd;
        unsigned interest;
        OnReady onReady;
        bool removed = false;
    };
    struct Timer {
        Clock::duration period;
        Work work;
    };
    using TimerKey = std::pair<Clock::time_point, TimerId>;

    void run();
    void runPosted();
    void waitAndDispatch();
    void runDueTimers();
    void purgeRemovedWatches();
    bool control(int operation, int fd, unsigned interest, WatchId id);
    TimerId addTimer(Clock::duration delay, Clock::duration period, Work work);

    const ThreadName name_;
    FileDescriptor epoll_;
    FileDescriptor wake_;
    std::thread thread_;
    std::atomic<std::thread::id> loopThread_;

    std::mutex mutex_;
    std::vector<Work> posted_;
    bool stopping_ = false;
    // The same, read without the lock between callbacks.
    std::atomic<bool> stopRequested_{false};

    std::uint64_t nextId_ = 1;
    std::unordered_map<WatchId, Watch> watches_;
    std::vector<WatchId> removedWatches_;
    std::map<TimerKey, Timer> timers_;
    std::unordered_map<TimerId, Clock::time_point> timerDue_;
    Work beforeWait_;
};

} // namespace lumarient
