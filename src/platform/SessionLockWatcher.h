#pragma once

#include <functional>

namespace lumarient {

// Tells when the user's own login session locks (the screen locker takes
// over), so that nothing keeps holding the keyboard and pointer behind it.
class SessionLockWatcher {
public:
    virtual ~SessionLockWatcher() = default;

    // `handler` runs on the thread that owns the watcher, once per lock. One
    // handler; a new one replaces it, an empty one stops the reports.
    virtual void setLockHandler(std::function<void()> handler) = 0;
};

} // namespace lumarient
