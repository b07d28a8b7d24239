#pragma once

#include <chrono>
#include <exception>
#include <stop_token>

namespace lumarient {

// Thrown by waits that end early because their task was cancelled.
struct OperationCancelled : std::exception {
    const char *what() const noexcept override { return "operation cancelled"; }
};

// Sleeps inside algorithms (polls, connect retries) go through this interface so
// that tests can count them instead of waiting.
class Sleeper {
public:
    virtual ~Sleeper() = default;

    // Sleeps for `duration`; throws OperationCancelled when `stop` is requested
    // before or during the sleep.
    virtual void sleep(std::chrono::milliseconds duration, std::stop_token stop) = 0;
};

// The real thing: blocks the calling thread, waking early on a stop request.
class ThreadSleeper final : public Sleeper {
public:
    void sleep(std::chrono::milliseconds duration, std::stop_token stop) override;

    static ThreadSleeper &instance();
};

} // namespace lumarient
