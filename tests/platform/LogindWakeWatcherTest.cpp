#include "platform/dbus/LogindWakeWatcher.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"

#include <gtest/gtest.h>

#include <QDBusMessage>

using namespace lumarient;
using namespace lumarient::test;

namespace {

void prepareForSleep(QDBusConnection &bus, const QVariant &argument)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                   QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
    signal << argument;
    bus.send(signal);
}

} // namespace

TEST(LogindWakeWatcher, ReportsOnlyTheWakeOfLogindItself)
{
    PrivateBus bus;
    if (!bus.running())
        GTEST_SKIP() << "no dbus-daemon";
    QDBusConnection logind = bus.connect(QStringLiteral("logind"));
    QDBusConnection app = bus.connect(QStringLiteral("app"));
    ASSERT_TRUE(logind.isConnected() && app.isConnected());

    LogindWakeWatcher watcher(app);
    ASSERT_TRUE(watcher.isWatching());
    int wakes = 0;
    QObject::connect(&watcher, &LogindWakeWatcher::didWake, [&] { ++wakes; });

    // Anyone but logind, and a malformed signal, are ignored.
    prepareForSleep(logind, false);
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    prepareForSleep(logind, QStringLiteral("no"));
    prepareForSleep(logind, true);
    spinFor(std::chrono::milliseconds(200));
    EXPECT_EQ(wakes, 0);

    prepareForSleep(logind, false);
    ASSERT_TRUE(spinUntil([&] { return wakes == 1; }));
    spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(wakes, 1);
}

TEST(LogindWakeWatcher, WithoutABusItDoesNotWatch)
{
    LogindWakeWatcher watcher(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere")));
    EXPECT_FALSE(watcher.isWatching());
}
