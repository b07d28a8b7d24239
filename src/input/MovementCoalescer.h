#pragma once

#include "input/InputRecords.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace lumarient {

// The input link's record rules, free of timers and pipes: pointer movement
// with unchanged buttons is summed until the next flush; button and scroll
// changes go out at once, carrying the movement summed so far.
class MovementCoalescer {
public:
    using Record = InputRecords::Record;

    // The records to write now, in order (none for a pure movement).
    std::vector<Record> sendMouse(std::int64_t dx, std::int64_t dy, Buttons buttons, std::int64_t wheel,
                                  std::int64_t pan);
    // The summed movement as one record, if there is any.
    std::optional<Record> flushPending();
    // A key change: the summed movement first, then the keyboard snapshot.
    std::vector<Record> sendKeys(std::uint8_t modifiers, const std::vector<std::uint8_t> &keys);

    void forgetButtons() { lastButtons_ = {}; }
    Buttons lastButtons() const { return lastButtons_; }
    std::int64_t pendingDX() const { return pendingDX_; }
    std::int64_t pendingDY() const { return pendingDY_; }

private:
    std::int64_t pendingDX_ = 0;
    std::int64_t pendingDY_ = 0;
    Buttons lastButtons_;
};

} // namespace lumarient
