#pragma once

#include "platform/Clock.h"

#include <atomic>

namespace lumarient::test {

// A clock that stands still until the test moves it.
class ManualClock final : public Clock {
public:
    TimePoint now() const override { return TimePoint(std::chrono::nanoseconds(ticks_.load())); }
    void advance(std::chrono::nanoseconds by) { ticks_ += by.count(); }

private:
    // Starts well past zero, so "a moment ago" is never before the epoch.
    std::atomic<std::chrono::nanoseconds::rep> ticks_{std::chrono::nanoseconds(std::chrono::hours(1)).count()};
};

} // namespace lumarient::test
