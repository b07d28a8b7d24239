#include "platform/Log.h"

#include <cstdio>
#include <mutex>

namespace lumarient {

void logLine(const QString &component, const QString &message)
{
    static std::mutex mutex;
    QByteArray line = '[' + component.toUtf8() + "] " + message.toUtf8();
    line.replace('\n', ' ');
    line.append('\n');
    std::lock_guard lock(mutex);
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace lumarient
