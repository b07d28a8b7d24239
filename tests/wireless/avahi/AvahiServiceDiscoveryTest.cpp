#include "support/NamespaceRun.h"

#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>

using namespace lumarient::test;

namespace {

QString missingTool()
{
    for (const char *tool : {"unshare", "ip", "dbus-daemon", "avahi-daemon", "avahi-publish"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty() &&
            QStandardPaths::findExecutable(QString::fromLatin1(tool),
                                           {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                .isEmpty())
            return QString::fromLatin1(tool);
    }
    return {};
}

} // namespace

// The real Avahi backend against a real avahi-daemon, all inside a network and
// mount namespace that exists only for this test.
TEST(AvahiServiceDiscoveryTest, BrowsesResolvesAndSeesRemovalThroughAvahiDaemon)
{
    if (const QString tool = missingTool(); !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString() << " (scripts/packages/wireless.txt)";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());

    const NamespaceRun run =
        runInOwnNamespaces({QStringLiteral("-n"), QStringLiteral("-m")}, QStringLiteral(AVAHI_NAMESPACE_SCRIPT),
                           work.path(), QStringLiteral(AVAHI_BROWSE_PROBE));
    const QString &output = run.output;
    ASSERT_NE(run.outcome, NamespaceRun::Outcome::timedOut)
        << "the namespace run did not finish: " << output.toStdString();
    if (run.outcome == NamespaceRun::Outcome::unavailable)
        GTEST_SKIP() << "cannot make a network namespace with its own avahi-daemon here:\n" << output.toStdString();

    // Without a daemon: one line for two browses, and the browses still exist.
    EXPECT_EQ(output.count(QLatin1String("avahi-daemon is not running; wireless discovery is off until the network "
                                         "changes")),
              1)
        << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("browses: made"))) << output.toStdString();

    // With the daemon: the published service arrives with the namespace's IPv4
    // address and its own port, is re-resolved, and its removal empties the list.
    // The pairing service of the other type never shows up.
    const QString expected = QStringLiteral("LIST [adb-SIMPHONE-x1y2z3|adb-SIMPHONE-x1y2z3|10.77.0.1|41234]");
    EXPECT_GE(output.count(expected), 3) << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("LIST []"))) << output.toStdString();
    EXPECT_FALSE(output.contains(QLatin1String("other-type-service"))) << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("probe exit: 0"))) << output.toStdString();
}
