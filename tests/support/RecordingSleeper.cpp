#include "support/RecordingSleeper.h"

#include <numeric>

namespace lumarient::test {

void RecordingSleeper::sleep(std::chrono::milliseconds duration, std::stop_token stop)
{
    std::function<void(std::size_t)> hook;
    std::size_t count = 0;
    {
        std::lock_guard lock(mutex_);
        sleeps_.push_back(duration);
        count = sleeps_.size();
        hook = hook_;
    }
    if (hook)
        hook(count);
    if (stop.stop_requested())
        throw OperationCancelled();
}

std::vector<std::chrono::milliseconds> RecordingSleeper::sleeps() const
{
    std::lock_guard lock(mutex_);
    return sleeps_;
}

std::chrono::milliseconds RecordingSleeper::total() const
{
    std::lock_guard lock(mutex_);
    return std::accumulate(sleeps_.begin(), sleeps_.end(), std::chrono::milliseconds(0));
}

void RecordingSleeper::onSleep(std::function<void(std::size_t)> hook)
{
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

} // namespace lumarient::test
