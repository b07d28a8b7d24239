#include "platform/dbus/DBusNotifier.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

using namespace lumarient;
using namespace lumarient::test;

// Stands in for the desktop's notification service.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList received;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        received << QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
                        .arg(appName)
                        .arg(replacesId)
                        .arg(icon, summary, body, actions.join(QLatin1Char(',')))
                        .arg(hints.size())
                        .arg(timeout);
        return uint(received.size());
    }
};

TEST(DBusNotifier, SendsNotifyToTheNotificationService)
{
    PrivateBus bus;
    if (!bus.running())
        GTEST_SKIP() << "no dbus-daemon";

    QDBusConnection serviceSide = bus.connect(QStringLiteral("service"));
    NotificationService service;
    ASSERT_TRUE(serviceSide.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                           QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));

    {
        DBusNotifier notifier(bus.connect(QStringLiteral("client")));
        notifier.notify(QStringLiteral("Received from phone"), QStringLiteral("photo (2).jpg saved to Downloads"));
        notifier.notify(QStringLiteral("Copied from phone"), QStringLiteral("hello"));
    }
    EXPECT_TRUE(spinUntil([&] { return service.received.size() == 2; }));
    EXPECT_EQ(service.received, (QStringList{
                                    "Lumarient|0||Received from phone|photo (2).jpg saved to Downloads||0|-1",
                                    "Lumarient|0||Copied from phone|hello||0|-1",
                                }));
}

TEST(DBusNotifier, WithoutAServiceOrABusNothingHappens)
{
    PrivateBus bus;
    if (!bus.running())
        GTEST_SKIP() << "no dbus-daemon";
    {
        // Nobody owns the name: the error reply is dropped, the caller never waits.
        DBusNotifier notifier(bus.connect(QStringLiteral("lonely")));
        for (int count = 0; count < 3; ++count)
            notifier.notify(QStringLiteral("Copied from phone"), QStringLiteral("text"));
        QCoreApplication::processEvents();
    }

    {
        const QDBusConnection nowhere = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=") + QDir::temp().filePath(QStringLiteral("no-such-bus")),
            QStringLiteral("nowhere"));
        EXPECT_FALSE(nowhere.isConnected());
        DBusNotifier notifier(nowhere);
        notifier.notify(QStringLiteral("Copied from phone"), QStringLiteral("text"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

#include "DBusNotifierTest.moc"
