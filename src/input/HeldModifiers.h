#pragma once

#include <cstdint>
#include <set>

namespace lumarient {

// The modifier keys held down, tracked key by key from their own down and up
// events: a desktop's modifier mask says "shift" but not which shift, and the
// phone needs the side (right Alt is AltGr).
class HeldModifiers {
public:
    // Records a key change; answers whether `evdevCode` is a modifier key.
    bool press(unsigned evdevCode);
    bool release(unsigned evdevCode);
    void clear() { held_.clear(); }

    // The ModifierFlags word of the keys held now.
    std::uint32_t flags() const;

private:
    std::set<unsigned> held_;
};

} // namespace lumarient
