#include "platform/portal/SessionEndWatcher.h"

#include <utility>

namespace lumarient::portal {

// Handlers run under the lock, so once `closedHere` or a new handler has
// returned, the old handler is not running and never will.
void SessionEndWatcher::setHandler(std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
    if (ended_ && !closedHere_ && handler_) {
        std::exchange(handler_, nullptr)();
    }
}

void SessionEndWatcher::closedHere()
{
    std::lock_guard lock(mutex_);
    closedHere_ = true;
    handler_ = nullptr;
}

void SessionEndWatcher::closed()
{
    std::lock_guard lock(mutex_);
    if (ended_ || closedHere_) {
        return;
    }
    ended_ = true;
    if (handler_) {
        std::exchange(handler_, nullptr)();
    }
}

} // namespace lumarient::portal
