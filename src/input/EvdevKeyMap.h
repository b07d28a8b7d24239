#pragma once

#include <cstdint>
#include <optional>

namespace lumarient {

// Linux keyboards report evdev key codes (X11 adds 8 to them); the key map is
// keyed by virtual key codes. This is the bridge, one physical key position at
// a time, so any layout types on the phone what its keys say.
namespace EvdevKeyMap {

// X11 key codes are evdev codes offset by 8.
inline constexpr unsigned xKeycodeOffset = 8;

// The virtual key code for the key at evdev `code`, if that key has one.
std::optional<std::uint8_t> virtualKeyCode(unsigned code);

// The ModifierFlags side bit and generic bit of a modifier key (caps lock has
// only its own bit); 0 for every other key.
std::uint32_t modifierFlags(unsigned code);

} // namespace EvdevKeyMap
} // namespace lumarient
