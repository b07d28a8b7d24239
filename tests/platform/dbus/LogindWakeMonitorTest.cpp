#include "platform/dbus/LogindWakeMonitor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace lumarient;

namespace {

// A private message bus for one test, stopped by its process id.
class PrivateBus {
public:
    PrivateBus()
    {
        const QString config = folder_.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                  "<busconfig><type>session</type><listen>unix:path=%1</listen>"
                                  "<auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
                                  "<allow own=\"*\"/><allow send_destination=\"*\"/>"
                                  "<allow receive_sender=\"*\"/></policy></busconfig>\n")
                       .arg(folder_.filePath(QStringLiteral("bus")))
                       .toUtf8());
        file.close();
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config,
                                                      QStringLiteral("--nofork"), QStringLiteral("--nopidfile")});
        QElapsedTimer waited;
        waited.start();
        while (!QFile::exists(folder_.filePath(QStringLiteral("bus"))) && waited.elapsed() < 5000 &&
               daemon_.state() != QProcess::NotRunning)
            daemon_.waitForFinished(20);
    }
    ~PrivateBus()
    {
        daemon_.terminate();
        daemon_.waitForFinished(3000);
    }
    bool isRunning() const { return daemon_.state() == QProcess::Running; }
    QString address() const { return QStringLiteral("unix:path=") + folder_.filePath(QStringLiteral("bus")); }

private:
    QTemporaryDir folder_;
    QProcess daemon_;
};

void announce(QDBusConnection &logind, bool sleeping)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                   QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
    signal << sleeping;
    logind.send(signal);
}

} // namespace

TEST(LogindWakeMonitorTest, OnlyTheEndOfSleepFromLogindCountsAsAWake)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    PrivateBus bus;
    if (!bus.isRunning())
        GTEST_SKIP() << "dbus-daemon cannot run here";
    QDBusConnection monitorSide = QDBusConnection::connectToBus(bus.address(), QStringLiteral("monitor"));
    QDBusConnection logind = QDBusConnection::connectToBus(bus.address(), QStringLiteral("logind"));
    QDBusConnection impostor = QDBusConnection::connectToBus(bus.address(), QStringLiteral("impostor"));
    ASSERT_TRUE(monitorSide.isConnected() && logind.isConnected() && impostor.isConnected());
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));

    int wakes = 0;
    {
        LogindWakeMonitor monitor(monitorSide);
        monitor.start([&] { ++wakes; });

        announce(impostor, false);
        announce(logind, true);
        announce(logind, false);
        QElapsedTimer waited;
        waited.start();
        while (wakes == 0 && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        // Let anything else that was sent arrive too.
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(wakes, 1);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("monitor"));
    QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
    QDBusConnection::disconnectFromBus(QStringLiteral("impostor"));
}
