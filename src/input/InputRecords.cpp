#include "input/InputRecords.h"

#include <algorithm>
#include <limits>

namespace lumarient::InputRecords {
namespace {

template <typename Narrow> Narrow saturate(std::int64_t value)
{
    return Narrow(
        std::clamp<std::int64_t>(value, std::numeric_limits<Narrow>::min(), std::numeric_limits<Narrow>::max()));
}

void putBigEndian16(Record &record, std::size_t offset, std::int16_t value)
{
    const auto bits = std::uint16_t(value);
    record[offset] = std::uint8_t(bits >> 8);
    record[offset + 1] = std::uint8_t(bits & 0xFF);
}

} // namespace

std::int16_t clamp16(std::int64_t value)
{
    return saturate<std::int16_t>(value);
}

std::int8_t clamp8(std::int64_t value)
{
    return saturate<std::int8_t>(value);
}

Record mouse(Buttons buttons, std::int64_t dx, std::int64_t dy, std::int64_t wheel, std::int64_t pan)
{
    Record record{};
    record[0] = mouseKind;
    record[1] = buttons.rawValue;
    putBigEndian16(record, 2, clamp16(dx));
    putBigEndian16(record, 4, clamp16(dy));
    record[6] = std::uint8_t(clamp8(wheel));
    record[7] = std::uint8_t(clamp8(pan));
    return record;
}

Record keyboard(std::uint8_t modifiers, const std::vector<std::uint8_t> &keys)
{
    Record record{};
    record[0] = keyboardKind;
    record[1] = modifiers;
    const std::size_t count = std::min(keys.size(), maximumKeys);
    std::copy_n(keys.begin(), count, record.begin() + 2);
    return record;
}

} // namespace lumarient::InputRecords
