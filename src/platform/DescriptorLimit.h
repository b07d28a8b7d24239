#pragma once

#include <cstdint>
#include <optional>

namespace lumarient {

// Raises the soft limit on open descriptors to the hard one, which is often
// 1,024 against several hundred thousand: adb children, sockets and the
// receivers' connections then all have room. Returns the soft limit in force
// afterwards, or nothing when it cannot be read.
std::optional<std::uint64_t> raiseDescriptorLimit();

} // namespace lumarient
