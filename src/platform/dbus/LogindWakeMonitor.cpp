#include "platform/dbus/LogindWakeMonitor.h"

#include "platform/Log.h"

namespace lumarient {

LogindWakeMonitor::LogindWakeMonitor(QDBusConnection bus) : bus_(std::move(bus))
{
}

void LogindWakeMonitor::start(std::function<void()> onWake)
{
    onWake_ = std::move(onWake);
    if (started_)
        return;
    started_ = true;
    const bool connected =
        bus_.isConnected() &&
        bus_.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                     QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                     SLOT(prepareForSleep(bool)));
    if (!connected)
        logLine(QStringLiteral("Lumarient"), QStringLiteral("cannot watch for wake-ups: no system bus"));
}

void LogindWakeMonitor::prepareForSleep(bool sleeping)
{
    if (!sleeping && onWake_)
        onWake_();
}

} // namespace lumarient
