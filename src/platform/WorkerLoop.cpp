#include "platform/WorkerLoop.h"

#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>

#include <algorithm>

namespace lumarient {
namespace {

// The wake-up descriptor's watch id; real watches count from 1.
constexpr std::uint64_t wakeId = 0;

std::uint32_t epollEvents(unsigned interest)
{
    return ((interest & WorkerLoop::readable) ? EPOLLIN : 0u) | ((interest & WorkerLoop::writable) ? EPOLLOUT : 0u);
}

} // namespace

WorkerLoop::WorkerLoop(ThreadName name)
    : name_(name), epoll_(::epoll_create1(EPOLL_CLOEXEC)), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = wakeId;
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wake_.get(), &event);
}

WorkerLoop::~WorkerLoop()
{
    stop();
    if (thread_.joinable())
        thread_.join();
}

void WorkerLoop::start()
{
    if (thread_.joinable())
        return;
    thread_ = std::thread([this] { run(); });
}

void WorkerLoop::stop()
{
    std::vector<Work> dropped;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        stopRequested_ = true;
        if (!thread_.joinable())
            dropped.swap(posted_);
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
    if (thread_.joinable() && !isLoopThread())
        thread_.join();
}

bool WorkerLoop::post(Work work)
{
    bool wasEmpty = false;
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return false;
        wasEmpty = posted_.empty();
        posted_.push_back(std::move(work));
    }
    // One wake-up per batch: a non-empty queue has already woken the loop.
    if (wasEmpty) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
    }
    return true;
}

WorkerLoop::WatchId WorkerLoop::watch(int fd, unsigned interest, OnReady onReady)
{
    if (interest != 0 && !control(EPOLL_CTL_ADD, fd, interest, nextId_))
        return 0;
    const WatchId id = nextId_++;
    watches_.emplace(id, Watch{fd, interest, std::move(onReady)});
    return id;
}

void WorkerLoop::modify(WatchId id, unsigned interest)
{
    const auto found = watches_.find(id);
    if (found == watches_.end() || found->second.removed || found->second.interest == interest)
        return;
    Watch &watch = found->second;
    // A paused watch leaves the epoll set: epoll would still report its hang-ups.
    if (interest == 0)
        control(EPOLL_CTL_DEL, watch.fd, 0, id);
    else if (!control(watch.interest == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, watch.fd, interest, id))
        return;
    watch.interest = interest;
}

void WorkerLoop::remove(WatchId id)
{
    const auto found = watches_.find(id);
    if (found == watches_.end() || found->second.removed)
        return;
    if (found->second.interest != 0)
        control(EPOLL_CTL_DEL, found->second.fd, 0, id);
    // Erased between turns: the callback may be the one running now.
    found->second.removed = true;
    removedWatches_.push_back(id);
}

bool WorkerLoop::control(int operation, int fd, unsigned interest, WatchId id)
{
    epoll_event event{};
    event.events = epollEvents(interest);
    event.data.u64 = id;
    return ::epoll_ctl(epoll_.get(), operation, fd, &event) == 0;
}

WorkerLoop::TimerId WorkerLoop::after(Clock::duration delay, Work work)
{
    return addTimer(delay, Clock::duration::zero(), std::move(work));
}

WorkerLoop::TimerId WorkerLoop::every(Clock::duration period, Work work)
{
    return addTimer(period, std::max(period, Clock::duration(1)), std::move(work));
}

WorkerLoop::TimerId WorkerLoop::addTimer(Clock::duration delay, Clock::duration period, Work work)
{
    const TimerId id = nextId_++;
    const Clock::time_point due = Clock::now() + delay;
    timers_.emplace(TimerKey{due, id}, Timer{period, std::move(work)});
    timerDue_.emplace(id, due);
    return id;
}

void WorkerLoop::cancel(TimerId id)
{
    const auto found = timerDue_.find(id);
    if (found == timerDue_.end())
        return;
    // A repeating timer that is running now is out of the map until it returns.
    timers_.erase(TimerKey{found->second, id});
    timerDue_.erase(found);
}

void WorkerLoop::setBeforeWait(Work work)
{
    beforeWait_ = std::move(work);
}

void WorkerLoop::run()
{
    loopThread_ = std::this_thread::get_id();
    pthread_setname_np(pthread_self(), name_.get());
    while (true) {
        runPosted();
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                break;
        }
        purgeRemovedWatches();
        if (beforeWait_)
            beforeWait_();
        waitAndDispatch();
        runDueTimers();
    }
    // Nothing can be posted any more: this empties the queue for good.
    runPosted();
}

void WorkerLoop::runPosted()
{
    std::vector<Work> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(posted_);
    }
    for (Work &work : batch)
        work();
}

void WorkerLoop::purgeRemovedWatches()
{
    for (const WatchId id : removedWatches_)
        watches_.erase(id);
    removedWatches_.clear();
}

void WorkerLoop::waitAndDispatch()
{
    int timeout = -1;
    if (!timers_.empty()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(timers_.begin()->first.first - Clock::now());
        timeout = int(std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, 24 * 3600 * 1000));
    }
    epoll_event events[64];
    const int count = ::epoll_wait(epoll_.get(), events, int(std::size(events)), timeout);
    for (int index = 0; index < count; ++index) {
        const std::uint64_t id = events[index].data.u64;
        if (id == wakeId) {
            std::uint64_t value = 0;
            [[maybe_unused]] const ssize_t read = ::read(wake_.get(), &value, sizeof value);
            continue;
        }
        if (stopRequested_.load(std::memory_order_relaxed))
            return;
        const auto found = watches_.find(id);
        if (found == watches_.end() || found->second.removed)
            continue;
        // References to map elements stay valid while callbacks add watches,
        // and removed ones are only erased between turns.
        Watch &watch = found->second;
        const std::uint32_t happened = events[index].events;
        unsigned ready = ((happened & EPOLLIN) ? readable : 0u) | ((happened & EPOLLOUT) ? writable : 0u);
        if (happened & (EPOLLERR | EPOLLHUP))
            ready |= watch.interest | ((happened & EPOLLERR) ? failed : 0u);
        watch.onReady(ready);
    }
}

void WorkerLoop::runDueTimers()
{
    const Clock::time_point now = Clock::now();
    while (!timers_.empty() && timers_.begin()->first.first <= now && !stopRequested_.load(std::memory_order_relaxed)) {
        auto node = timers_.extract(timers_.begin());
        const auto [due, id] = node.key();
        const Clock::duration period = node.mapped().period;
        if (period == Clock::duration::zero())
            timerDue_.erase(id);
        node.mapped().work();
        const auto still = timerDue_.find(id);
        if (period == Clock::duration::zero() || still == timerDue_.end())
            continue;
        Clock::time_point next = due + period;
        if (next <= now)
            next = now + period - (now - due) % period;
        still->second = next;
        node.key() = TimerKey{next, id};
        timers_.insert(std::move(node));
    }
}

} // namespace lumarient
