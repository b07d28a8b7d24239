#pragma once

#include <array>
#include <cstdint>

namespace lumarient {

// The modifier-flag word a key event carries: one side bit per modifier key
// plus a generic bit per modifier. The capture composes it from the modifier
// keys it sees held, so both sides are always known.
namespace ModifierFlags {
inline constexpr std::uint32_t leftControl = 0x0001;
inline constexpr std::uint32_t leftShift = 0x0002;
inline constexpr std::uint32_t rightShift = 0x0004;
inline constexpr std::uint32_t leftCommand = 0x0008;
inline constexpr std::uint32_t rightCommand = 0x0010;
inline constexpr std::uint32_t leftOption = 0x0020;
inline constexpr std::uint32_t rightOption = 0x0040;
inline constexpr std::uint32_t rightControl = 0x2000;
inline constexpr std::uint32_t capsLock = 0x10000;
inline constexpr std::uint32_t shift = 0x20000;
inline constexpr std::uint32_t control = 0x40000;
inline constexpr std::uint32_t option = 0x80000;
inline constexpr std::uint32_t command = 0x100000;
} // namespace ModifierFlags

// Virtual key codes that the capture itself looks at.
namespace VirtualKey {
inline constexpr std::uint8_t escape = 0x35;
} // namespace VirtualKey

// Translates keys into what the phone's input program expects: USB HID
// keyboard usages (Keyboard/Keypad page) and the HID modifier byte.
namespace HidKeyMap {

// HID usage per virtual key code; 0 for keys that are not forwarded.
// Modifier keys never appear here: they reach the phone through the
// modifier byte only.
const std::array<std::uint8_t, 128> &table();

// The usage for `virtualKeyCode`, or 0 when it is outside the table or not
// forwarded.
std::uint8_t usage(unsigned virtualKeyCode);

// The HID modifier byte (bit 0 left control, 1 left shift, 2 left alt, 3 left
// GUI, 4-7 the same on the right) for a ModifierFlags word. Side bits win; a
// generic bit counts as the left key only when neither side of it is set.
std::uint8_t modifiers(std::uint32_t flags);

} // namespace HidKeyMap
} // namespace lumarient
