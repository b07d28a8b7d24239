#include "platform/dbus/DBusNotifier.h"
#include "GuiApplication.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace lumarient;
using namespace lumarient::test;

namespace {

// A bus of the test's own: no activatable services, so no real notification daemon starts.
class PrivateBus {
public:
    PrivateBus()
    {
        const QString configPath = folder_.filePath(QStringLiteral("bus.conf"));
        QFile config(configPath);
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(
            QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                           "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                           "<auth>EXTERNAL</auth><policy context=\"default\">"
                           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                           "<allow own=\"*\"/></policy></busconfig>\n")
                .arg(folder_.path())
                .toUtf8());
        config.close();
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                                                      QStringLiteral("--config-file=") + configPath});
        if (daemon_.waitForReadyRead(5000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        daemon_.kill();
        daemon_.waitForFinished();
    }
    const QString &address() const { return address_; }

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
};

} // namespace

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
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    ensureGuiApplication();
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());

    QDBusConnection serviceSide = QDBusConnection::connectToBus(bus.address(), QStringLiteral("service"));
    NotificationService service;
    ASSERT_TRUE(serviceSide.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                           QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));

    {
        DBusNotifier notifier(QDBusConnection::connectToBus(bus.address(), QStringLiteral("client")));
        notifier.notify(QStringLiteral("Received from phone"), QStringLiteral("photo (2).jpg saved to Downloads"));
        notifier.notify(QStringLiteral("Copied from phone"), QStringLiteral("hello"));
    }
    EXPECT_TRUE(processEventsUntil([&] { return service.received.size() == 2; }));
    EXPECT_EQ(service.received, (QStringList{
                                    "Lumarient|0||Received from phone|photo (2).jpg saved to Downloads||0|-1",
                                    "Lumarient|0||Copied from phone|hello||0|-1",
                                }));
    serviceSide = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
}

TEST(DBusNotifier, WithoutAServiceOrABusNothingHappens)
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    ensureGuiApplication();
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    {
        // Nobody owns the name: the error reply is dropped, the caller never waits.
        DBusNotifier notifier(QDBusConnection::connectToBus(bus.address(), QStringLiteral("lonely")));
        for (int count = 0; count < 3; ++count)
            notifier.notify(QStringLiteral("Copied from phone"), QStringLiteral("text"));
        QCoreApplication::processEvents();
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("lonely"));

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
