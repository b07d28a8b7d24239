#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace lumarient::test {

// A message bus of the test's own (a dbus-daemon child), standing in for the
// system or session bus, with no services it could start on demand. Connections made through it are closed, and the
// daemon stopped, when this object goes.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool running() const { return !address_.isEmpty(); }
    // For children that should take it as their session bus (DBUS_SESSION_BUS_ADDRESS).
    const QString &address() const { return address_; }
    // A new connection to the bus, under a name unique in this process.
    QDBusConnection connect(const QString &name);

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    QStringList connections_;
};

} // namespace lumarient::test
