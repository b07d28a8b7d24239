#pragma once

#include "platform/Sleeper.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

namespace lumarient::test {

// A sleeper that returns at once and remembers every sleep it was asked for.
// It honours stop requests like the real one, and can run a hook at each sleep
// (for instance to change the simulated phone between polls).
class RecordingSleeper final : public Sleeper {
public:
    void sleep(std::chrono::milliseconds duration, std::stop_token stop) override;

    std::vector<std::chrono::milliseconds> sleeps() const;
    std::chrono::milliseconds total() const;
    void onSleep(std::function<void(std::size_t count)> hook);

private:
    mutable std::mutex mutex_;
    std::vector<std::chrono::milliseconds> sleeps_;
    std::function<void(std::size_t)> hook_;
};

} // namespace lumarient::test
