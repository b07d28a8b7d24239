#include "platform/DescriptorLimit.h"

#include "platform/Log.h"

#include <cerrno>
#include <cstring>

#include <sys/resource.h>

namespace lumarient {

std::optional<std::uint64_t> raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return std::nullopt;
    if (limit.rlim_cur < limit.rlim_max) {
        const rlim_t soft = limit.rlim_cur;
        limit.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            logLine(QStringLiteral("Lumarient"), QStringLiteral("Cannot raise the descriptor limit from %1: %2")
                                                     .arg(qulonglong(soft))
                                                     .arg(QString::fromLocal8Bit(std::strerror(errno))));
            limit.rlim_cur = soft;
        }
    }
    return std::uint64_t(limit.rlim_cur);
}

} // namespace lumarient
