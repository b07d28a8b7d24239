#include "platform/dbus/DBusNotifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace lumarient {

DBusNotifier::DBusNotifier(const QDBusConnection &connection) : connection_(connection)
{
}

void DBusNotifier::notify(const QString &title, const QString &body)
{
    if (!connection_.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call << QStringLiteral("Lumarient") << 0u << QString() << title << body << QStringList() << QVariantMap() << -1;
    // QDBusConnection may be used from any thread; an error reply (no service) is dropped.
    connection_.send(call);
}

} // namespace lumarient
