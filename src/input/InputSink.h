#pragma once

#include "input/InputRecords.h"

#include <cstdint>
#include <vector>

namespace lumarient {

// Where a driven phone's input goes (the phone's input server).
class InputSink {
public:
    virtual ~InputSink() = default;
    virtual void sendMouse(std::int64_t dx, std::int64_t dy, Buttons buttons, std::int64_t wheel, std::int64_t pan) = 0;
    virtual void sendKeys(std::uint8_t modifiers, const std::vector<std::uint8_t> &keys) = 0;
};

} // namespace lumarient
