#pragma once

#include <functional>

namespace lumarient {

// Tells when the computer has woken from sleep. Wake-ups are reported on the
// thread that started the monitor (the main thread).
class WakeMonitor {
public:
    virtual ~WakeMonitor() = default;

    virtual void start(std::function<void()> onWake) = 0;
};

} // namespace lumarient
