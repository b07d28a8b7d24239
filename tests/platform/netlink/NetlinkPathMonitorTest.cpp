#include "support/NamespaceRun.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace lumarient::test;

// The real rtnetlink monitor, in a network namespace made for this test, while
// interfaces come and go there.
TEST(NetlinkPathMonitorTest, ReportsEachChangedPathOnce)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const NamespaceRun run = runInOwnNamespaces({QStringLiteral("-n")}, QStringLiteral(PATH_NAMESPACE_SCRIPT),
                                                work.path(), QStringLiteral(PATH_MONITOR_PROBE));
    const QString &output = run.output;
    ASSERT_NE(run.outcome, NamespaceRun::Outcome::timedOut)
        << "the namespace run did not finish: " << output.toStdString();
    if (run.outcome == NamespaceRun::Outcome::unavailable)
        GTEST_SKIP() << "cannot make a network namespace here:\n" << output.toStdString();
    ASSERT_EQ(run.exitCode, 0) << output.toStdString();

    QStringList paths;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("PATH ")))
            paths.append(line.mid(5));
    }
    ASSERT_GE(paths.size(), 4) << output.toStdString();
    EXPECT_EQ(paths.first(), QStringLiteral("unsatisfied|[]"));
    EXPECT_EQ(paths.last(), QStringLiteral("unsatisfied|[]"));
    EXPECT_TRUE(paths.contains(QStringLiteral("satisfied|[\"lmr0\", \"lmr1\"]")) ||
                paths.contains(QStringLiteral("satisfied|[\"lmr1\", \"lmr0\"]")))
        << output.toStdString();
    for (qsizetype i = 1; i < paths.size(); ++i)
        EXPECT_NE(paths[i], paths[i - 1]) << "a path reported twice in a row";
    EXPECT_TRUE(output.contains(QLatin1String("STOPPED")));
}
