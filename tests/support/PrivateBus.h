#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace lumarient::test {

// A message bus of the test's own (a dbus-daemon with the session
// configuration), standing in for the session or system bus.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();

    bool running() const { return !address_.isEmpty(); }
    const QString &address() const { return address_; }
    // A connection of its own under `name`, closed with the bus.
    QDBusConnection connect(const QString &name);

private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

} // namespace lumarient::test
