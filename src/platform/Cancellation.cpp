#include "platform/Cancellation.h"

#include <utility>

namespace lumarient {

Cancellation::Hook::Hook(Hook &&other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), id_(std::exchange(other.id_, 0))
{
}

Cancellation::Hook &Cancellation::Hook::operator=(Hook &&other) noexcept
{
    if (this != &other) {
        release();
        owner_ = std::exchange(other.owner_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

Cancellation::Hook::~Hook()
{
    release();
}

void Cancellation::Hook::release()
{
    if (owner_ != nullptr) {
        owner_->remove(id_);
        owner_ = nullptr;
    }
}

void Cancellation::cancel()
{
    // Wake-ups run under the lock, so a hook being destroyed waits for its own.
    std::lock_guard lock(mutex_);
    if (cancelled_) {
        return;
    }
    cancelled_ = true;
    for (auto &[id, wake] : wakes_) {
        wake();
    }
    wakes_.clear();
}

bool Cancellation::isCancelled() const
{
    std::lock_guard lock(mutex_);
    return cancelled_;
}

Cancellation::Hook Cancellation::onCancel(std::function<void()> wake)
{
    std::lock_guard lock(mutex_);
    if (cancelled_) {
        wake();
        return Hook();
    }
    const std::uint64_t id = nextId_++;
    wakes_.emplace(id, std::move(wake));
    return Hook(this, id);
}

void Cancellation::remove(std::uint64_t id)
{
    std::lock_guard lock(mutex_);
    wakes_.erase(id);
}

} // namespace lumarient
