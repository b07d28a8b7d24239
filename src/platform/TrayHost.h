#pragma once

#include <functional>

namespace lumarient {

// Whether the desktop shows tray icons, and when that changes (a tray
// extension enabled or disabled, a panel restarted).
class TrayHost {
public:
    virtual ~TrayHost() = default;

    virtual bool isPresent() const = 0;
    // `handler` runs on the thread that owns the host watcher with the new
    // answer, each time it changes. One handler; a new one replaces it.
    virtual void setChangeHandler(std::function<void(bool present)> handler) = 0;
};

} // namespace lumarient
