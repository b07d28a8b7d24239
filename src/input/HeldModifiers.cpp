#include "input/HeldModifiers.h"

#include "input/EvdevKeyMap.h"

namespace lumarient {

bool HeldModifiers::press(unsigned evdevCode)
{
    if (EvdevKeyMap::modifierFlags(evdevCode) == 0)
        return false;
    held_.insert(evdevCode);
    return true;
}

bool HeldModifiers::release(unsigned evdevCode)
{
    if (EvdevKeyMap::modifierFlags(evdevCode) == 0)
        return false;
    held_.erase(evdevCode);
    return true;
}

std::uint32_t HeldModifiers::flags() const
{
    std::uint32_t result = 0;
    for (unsigned code : held_)
        result |= EvdevKeyMap::modifierFlags(code);
    return result;
}

} // namespace lumarient
