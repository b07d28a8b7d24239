#pragma once

namespace lumarient {

// How `adb` sees a phone.
enum class DeviceState { ready, unauthorized, offline };

} // namespace lumarient
