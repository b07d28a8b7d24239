#include "platform/dbus/LogindSessionLockWatcher.h"
#include "support/EventLoop.h"
#include "support/FakeLogind.h"
#include "support/PrivateBus.h"

#include <gtest/gtest.h>

#include <optional>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const QString ownSession = QStringLiteral("/org/freedesktop/login1/session/_37");
const QString otherSession = QStringLiteral("/org/freedesktop/login1/session/_12");

// Sets or clears an environment variable for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, std::optional<QByteArray> value) : name_(name)
    {
        if (qEnvironmentVariableIsSet(name))
            saved_ = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (saved_)
            qputenv(name_, *saved_);
        else
            qunsetenv(name_);
    }

private:
    const char *name_;
    std::optional<QByteArray> saved_;
};

} // namespace

TEST(LogindSessionLockWatcher, FindsTheCallersOwnSessionAndReportsOnlyItsLock)
{
    struct Case {
        const char *name;
        QString byProcess;
        std::optional<QByteArray> sessionID;
        QString autoID;
    };
    const Case cases[] = {
        {"by process", ownSession, QByteArray("12"), {}},
        {"by XDG_SESSION_ID", {}, QByteArray("37"), {}},
        {"through the auto session", {}, std::nullopt, QStringLiteral("37")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnvironment environment("XDG_SESSION_ID", c.sessionID);
        PrivateBus bus;
        ASSERT_TRUE(bus.running()) << "dbus-daemon did not start";
        FakeLogind logind(bus.connect(QStringLiteral("logind")));
        ASSERT_TRUE(logind.isServing());
        logind.sessionOfCaller = c.byProcess;
        logind.sessionsById = {{QStringLiteral("37"), ownSession}, {QStringLiteral("12"), otherSession}};
        logind.autoSessionId = c.autoID;

        LogindSessionLockWatcher watcher(bus.connect(QStringLiteral("app")));
        int locks = 0;
        watcher.setLockHandler([&] { ++locks; });
        ASSERT_TRUE(spinUntil([&] { return !watcher.sessionPath().isEmpty(); }, 5s))
            << logind.calls.join(' ').toStdString();
        EXPECT_EQ(watcher.sessionPath(), ownSession);

        logind.lock(otherSession);
        spinFor(100ms);
        EXPECT_EQ(locks, 0);
        logind.lock(ownSession);
        ASSERT_TRUE(spinUntil([&] { return locks == 1; }, 5s));
        logind.lock(ownSession);
        ASSERT_TRUE(spinUntil([&] { return locks == 2; }, 5s));
    }
}

TEST(LogindSessionLockWatcher, WithoutLogindOrASessionItNeverWatches)
{
    ScopedEnvironment environment("XDG_SESSION_ID", std::nullopt);
    PrivateBus bus;
    ASSERT_TRUE(bus.running()) << "dbus-daemon did not start";
    {
        // Nobody answers for logind.
        LogindSessionLockWatcher watcher(bus.connect(QStringLiteral("app")));
        spinFor(200ms);
        EXPECT_TRUE(watcher.sessionPath().isEmpty());
    }
    // logind answers, but knows no session of ours.
    FakeLogind logind(bus.connect(QStringLiteral("logind")));
    LogindSessionLockWatcher watcher(bus.connect(QStringLiteral("app2")));
    ASSERT_TRUE(spinUntil([&] { return logind.calls.size() == 2; }, 5s));
    spinFor(100ms);
    EXPECT_TRUE(watcher.sessionPath().isEmpty());
    EXPECT_EQ(logind.calls, QStringList({QStringLiteral("GetSessionByPID"), QStringLiteral("Get")}));

    LogindSessionLockWatcher unconnected(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere")));
    spinFor(50ms);
    EXPECT_TRUE(unconnected.sessionPath().isEmpty());
}
