#pragma once

#include <chrono>

namespace lumarient {

// The time that time-based rules read, so tests can move it by hand.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

// The real, monotonic time.
class SteadyClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }

    static SteadyClock &instance();
};

} // namespace lumarient
