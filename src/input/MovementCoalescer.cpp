#include "input/MovementCoalescer.h"

#include <limits>

namespace lumarient {
namespace {

// Sums saturate: movement beyond 64 bits is as clamped on the wire as any other.
std::int64_t add(std::int64_t a, std::int64_t b)
{
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return sum;
}

bool fits16(std::int64_t value)
{
    return value >= std::numeric_limits<std::int16_t>::min() && value <= std::numeric_limits<std::int16_t>::max();
}

} // namespace

std::vector<MovementCoalescer::Record> MovementCoalescer::sendMouse(std::int64_t dx, std::int64_t dy, Buttons buttons,
                                                                    std::int64_t wheel, std::int64_t pan)
{
    if (buttons == lastButtons_ && wheel == 0 && pan == 0) {
        pendingDX_ = add(pendingDX_, dx);
        pendingDY_ = add(pendingDY_, dy);
        return {};
    }
    lastButtons_ = buttons;
    const std::int64_t sx = add(pendingDX_, dx);
    const std::int64_t sy = add(pendingDY_, dy);
    if (fits16(sx) && fits16(sy)) {
        pendingDX_ = 0;
        pendingDY_ = 0;
        return {InputRecords::mouse(buttons, sx, sy, wheel, pan)};
    }
    std::vector<Record> records;
    if (std::optional<Record> pending = flushPending())
        records.push_back(*pending);
    records.push_back(InputRecords::mouse(buttons, dx, dy, wheel, pan));
    return records;
}

std::optional<MovementCoalescer::Record> MovementCoalescer::flushPending()
{
    if (pendingDX_ == 0 && pendingDY_ == 0)
        return std::nullopt;
    const std::int64_t dx = pendingDX_;
    const std::int64_t dy = pendingDY_;
    pendingDX_ = 0;
    pendingDY_ = 0;
    return InputRecords::mouse(lastButtons_, dx, dy, 0, 0);
}

std::vector<MovementCoalescer::Record> MovementCoalescer::sendKeys(std::uint8_t modifiers,
                                                                   const std::vector<std::uint8_t> &keys)
{
    std::vector<Record> records;
    if (std::optional<Record> pending = flushPending())
        records.push_back(*pending);
    records.push_back(InputRecords::keyboard(modifiers, keys));
    return records;
}

} // namespace lumarient
