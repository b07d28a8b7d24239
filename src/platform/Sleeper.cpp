#include "platform/Sleeper.h"

#include <condition_variable>
#include <mutex>

namespace lumarient {

void ThreadSleeper::sleep(std::chrono::milliseconds duration, std::stop_token stop)
{
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, duration, [] { return false; });
    if (stop.stop_requested())
        throw OperationCancelled();
}

ThreadSleeper &ThreadSleeper::instance()
{
    static ThreadSleeper sleeper;
    return sleeper;
}

} // namespace lumarient
