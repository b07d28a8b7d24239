#include "input/SerialQueue.h"

#include <pthread.h>
#include <signal.h>

namespace lumarient {

SerialQueue::SerialQueue(std::string name) : name_(std::move(name))
{
    thread_ = std::thread([this] { run(); });
    // Named from here, so the name is in place before the first task is queued.
    pthread_setname_np(thread_.native_handle(), name_.substr(0, 15).c_str());
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void SerialQueue::enqueue(std::function<void()> task)
{
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void SerialQueue::drain()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return tasks_.empty() && !running_; });
}

void SerialQueue::run()
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty())
            break;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        running_ = true;
        lock.unlock();
        task();
        lock.lock();
        running_ = false;
        if (tasks_.empty())
            idle_.notify_all();
    }
    idle_.notify_all();
}

} // namespace lumarient
