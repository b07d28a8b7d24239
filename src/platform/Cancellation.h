#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace lumarient {

// Lets one thread end another's long wait. Any thread may `cancel`; the waiting
// side registers what wakes it for as long as it waits.
class Cancellation {
public:
    // Keeps a wake-up registered while it lives; destroying it waits for a
    // wake-up that is running, so what the wake-up touches may go afterwards.
    class Hook {
    public:
        Hook() = default;
        Hook(Hook &&other) noexcept;
        Hook &operator=(Hook &&other) noexcept;
        ~Hook();
        Hook(const Hook &) = delete;
        Hook &operator=(const Hook &) = delete;

    private:
        friend class Cancellation;
        Hook(Cancellation *owner, std::uint64_t id) : owner_(owner), id_(id) {}
        void release();

        Cancellation *owner_ = nullptr;
        std::uint64_t id_ = 0;
    };

    Cancellation() = default;
    Cancellation(const Cancellation &) = delete;
    Cancellation &operator=(const Cancellation &) = delete;

    // Runs every registered wake-up once, on this thread; later calls do nothing.
    void cancel();
    bool isCancelled() const;
    // `wake` runs on the cancelling thread, or here at once when already
    // cancelled. It must not call back into this object. The hook must not
    // outlive this object.
    [[nodiscard]] Hook onCancel(std::function<void()> wake);

private:
    void remove(std::uint64_t id);

    mutable std::mutex mutex_;
    bool cancelled_ = false;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, std::function<void()>> wakes_;
};

} // namespace lumarient
