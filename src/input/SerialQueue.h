#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace lumarient {

// One named worker thread that runs tasks one at a time, in the order they
// were queued. The destructor runs what is still queued, then joins. SIGPIPE is
// blocked on the worker, so a write to a closed pipe fails with EPIPE instead
// of ending the process.
class SerialQueue {
public:
    // `name` is the thread's name as tools show it (at most 15 characters).
    explicit SerialQueue(std::string name);
    ~SerialQueue();
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    void enqueue(std::function<void()> task);
    // Waits until every task queued so far has run.
    void drain();

private:
    void run();

    std::string name_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> tasks_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace lumarient
