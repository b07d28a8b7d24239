#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace lumarient {

// Mouse buttons held on the phone, as the mouse record's mask byte carries them.
struct Buttons {
    std::uint8_t rawValue = 0;

    static constexpr std::uint8_t left = 1;
    static constexpr std::uint8_t right = 2;
    static constexpr std::uint8_t middle = 4;

    bool contains(std::uint8_t member) const { return (rawValue & member) != 0; }
    void insert(std::uint8_t member) { rawValue |= member; }
    void remove(std::uint8_t member) { rawValue &= std::uint8_t(~member); }
    bool isEmpty() const { return rawValue == 0; }
    bool operator==(const Buttons &) const = default;
};

// The records the phone's input program reads from its standard input: 8 bytes
// each, no framing, big-endian.
namespace InputRecords {

using Record = std::array<std::uint8_t, 8>;

inline constexpr std::uint8_t mouseKind = 0x6D;    // "m"
inline constexpr std::uint8_t keyboardKind = 0x6B; // "k"
inline constexpr std::size_t maximumKeys = 6;

// Out-of-range values saturate rather than wrap, so a large movement never
// turns into one in the opposite direction.
std::int16_t clamp16(std::int64_t value);
std::int8_t clamp8(std::int64_t value);

Record mouse(Buttons buttons, std::int64_t dx, std::int64_t dy, std::int64_t wheel, std::int64_t pan);
// A snapshot of the whole keyboard: the HID modifier byte and the first six
// usages of `keys`, unused positions 0.
Record keyboard(std::uint8_t modifiers, const std::vector<std::uint8_t> &keys);

} // namespace InputRecords
} // namespace lumarient
