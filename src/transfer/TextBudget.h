#pragma once

#include <cstdint>

namespace lumarient {

// The bytes that texts in flight may hold, summed over every connection, so that
// many stalled texts cannot take the computer's memory. Every connection runs on
// the receiver's one thread, so it needs no lock.
class TextBudget {
public:
    explicit TextBudget(std::uint64_t limit) : limit_(limit) {}

    TextBudget(const TextBudget &) = delete;
    TextBudget &operator=(const TextBudget &) = delete;

    // Takes `bytes`; false, and nothing taken, when that would go past the limit.
    bool take(std::uint64_t bytes)
    {
        if (bytes > limit_ - inUse_)
            return false;
        inUse_ += bytes;
        return true;
    }
    void giveBack(std::uint64_t bytes) { inUse_ -= bytes; }

    std::uint64_t inUse() const { return inUse_; }

private:
    std::uint64_t limit_;
    std::uint64_t inUse_ = 0;
};

} // namespace lumarient
