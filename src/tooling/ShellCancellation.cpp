#include "tooling/ShellCancellation.h"

#include "tooling/Shell.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <sys/eventfd.h>
#include <unistd.h>

namespace lumarient {
namespace {

constexpr std::int64_t notStopping = std::numeric_limits<std::int64_t>::max();

// Process-wide on purpose: it is about every child this process has running,
// whichever part of the app started it.
std::atomic<std::int64_t> stopTicks{notStopping};

int wakeFd()
{
    static const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd;
}

} // namespace

namespace ShellCancellation {

std::optional<Clock::time_point> stopTime()
{
    const std::int64_t ticks = stopTicks.load();
    if (ticks == notStopping)
        return std::nullopt;
    return Clock::time_point(Clock::duration(ticks));
}

int wakeDescriptor()
{
    return wakeFd();
}

} // namespace ShellCancellation

void Shell::cancelAll(std::chrono::milliseconds grace)
{
    const std::int64_t ticks = (ShellCancellation::Clock::now() + grace).time_since_epoch().count();
    // Only ever earlier: a second call cannot give commands more time.
    std::int64_t current = stopTicks.load();
    while (ticks < current && !stopTicks.compare_exchange_weak(current, ticks)) {
    }
    const int fd = wakeFd();
    if (fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
    }
}

} // namespace lumarient
