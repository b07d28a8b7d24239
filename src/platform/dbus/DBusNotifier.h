#pragma once

#include "platform/Notifier.h"

#include <QDBusConnection>

namespace lumarient {

// Desktop notifications through org.freedesktop.Notifications. Each notification
// is one method call sent without waiting for its reply, so a slow or missing
// notification service never holds up the caller.
class DBusNotifier final : public Notifier {
public:
    explicit DBusNotifier(const QDBusConnection &connection = QDBusConnection::sessionBus());

    void notify(const QString &title, const QString &body) override;

private:
    QDBusConnection connection_;
};

} // namespace lumarient
