#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

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

    QStringList arguments{QStringLiteral("-n"), QStringLiteral("-m")};
    if (::geteuid() != 0)
        arguments.prepend(QStringLiteral("-r"));
    arguments << QStringLiteral(AVAHI_NAMESPACE_SCRIPT) << work.path() << QStringLiteral(AVAHI_BROWSE_PROBE);
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       environment.value(QStringLiteral("PATH")) + QStringLiteral(":/usr/sbin:/sbin"));
    run.setProcessEnvironment(environment);
    run.start(QStringLiteral("unshare"), arguments);
    ASSERT_TRUE(run.waitForStarted());
    if (!run.waitForFinished(60000)) {
        run.kill();
        run.waitForFinished();
        FAIL() << "the namespace run did not finish: " << run.readAll().toStdString();
    }
    const QString output = QString::fromUtf8(run.readAll());
    if (run.exitCode() == 77 || output.contains(QLatin1String("unshare: unshare failed")))
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
