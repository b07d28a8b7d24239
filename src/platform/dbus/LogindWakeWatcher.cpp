#include "platform/dbus/LogindWakeWatcher.h"

namespace lumarient {

LogindWakeWatcher::LogindWakeWatcher(QDBusConnection bus, QObject *parent) : QObject(parent)
{
    watching_ = bus.isConnected() &&
                bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
                            SLOT(prepareForSleep(bool)));
}

void LogindWakeWatcher::prepareForSleep(bool sleeping)
{
    if (!sleeping)
        emit didWake();
}

} // namespace lumarient
