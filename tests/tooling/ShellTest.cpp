#include "tooling/Shell.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <future>
#include <thread>
#include <vector>

using namespace lumarient;
using namespace std::chrono_literals;

namespace {

QString sh(const QString &script, std::chrono::milliseconds limit = Shell::defaultTimeLimit)
{
    return Shell::run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, limit);
}

ShellError failure(const QString &program, const QStringList &arguments,
                   std::chrono::milliseconds limit = Shell::defaultTimeLimit)
{
    try {
        Shell::run(program, arguments, limit);
    } catch (const ShellError &error) {
        return error;
    }
    ADD_FAILURE() << "expected a failure from: " << program.toStdString() << " " << arguments.join(' ').toStdString();
    return ShellError::launchFailed(QString());
}

ShellError shFailure(const QString &script, std::chrono::milliseconds limit = Shell::defaultTimeLimit)
{
    return failure(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, limit);
}

bool processGone(pid_t pid)
{
    // A process reparented after its parent was killed is reaped by init soon after.
    for (int tries = 0; tries < 200; ++tries) {
        QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return true;
        if (status.readAll().contains(") Z "))
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

} // namespace

TEST(Shell, ReturnsTheMergedOutputExactlyWhenValidUtf8)
{
    const struct {
        const char *script;
        QString output;
    } cases[] = {
        {"true", QString()},
        {"printf '  two words \\n\\n'", QStringLiteral("  two words \n\n")},
        {"echo one; echo two >&2; echo three; echo four >&2", QStringLiteral("one\ntwo\nthree\nfour\n")},
        {"head -c 100000 /dev/zero | tr '\\0' a; echo end >&2", QString(100000, QLatin1Char('a')) + "end\n"},
        {"printf 'caf\\303\\251'", QStringLiteral("café")},
        // Not UTF-8, or a sequence cut off at the end: the empty text.
        {"printf 'ok\\377\\376'", QString()},
        {"printf 'caf\\303'", QString()},
    };
    for (const auto &[script, output] : cases)
        EXPECT_EQ(sh(QString::fromUtf8(script)), output) << script;

    const ShellError error = shFailure(QStringLiteral("printf '\\377'; exit 3"));
    EXPECT_EQ(error.output(), QString());
    EXPECT_EQ(error.description(), QStringLiteral("/bin/sh -c printf '\\377'; exit 3 exited 3"));
}

TEST(Shell, NonZeroExitOrASignalCarriesCommandCodeAndOutput)
{
    const ShellError error = shFailure(QStringLiteral("echo 'error: no devices'; exit 1"));
    EXPECT_EQ(error.kind(), ShellError::Kind::nonZeroExit);
    EXPECT_EQ(error.command(), QStringLiteral("/bin/sh -c echo 'error: no devices'; exit 1"));
    EXPECT_EQ(error.code(), 1);
    EXPECT_EQ(error.output(), QStringLiteral("error: no devices\n"));
    EXPECT_EQ(error.description(),
              QStringLiteral("/bin/sh -c echo 'error: no devices'; exit 1 exited 1: error: no devices"));

    // Whitespace-only output leaves no colon.
    const ShellError blank = shFailure(QStringLiteral("printf ' \\n\\t\\n'; exit 2"));
    EXPECT_EQ(blank.description(), QStringLiteral("/bin/sh -c printf ' \\n\\t\\n'; exit 2 exited 2"));

    // A child killed by a signal reports the signal.
    const ShellError killed = shFailure(QStringLiteral("kill -9 $$"));
    EXPECT_EQ(killed.kind(), ShellError::Kind::nonZeroExit);
    EXPECT_EQ(killed.code(), SIGKILL);
}

TEST(Shell, LaunchFailuresNameThePathAndReason)
{
    const ShellError missing = failure(QStringLiteral("/nonexistent/adb"), {QStringLiteral("devices")});
    EXPECT_EQ(missing.kind(), ShellError::Kind::launchFailed);
    EXPECT_EQ(missing.description(), QStringLiteral("Could not launch /nonexistent/adb: No such file or directory"));

    QTemporaryDir folder;
    const QString notExecutable = folder.filePath(QStringLiteral("adb"));
    ASSERT_TRUE(lumarient::test::writeFile(notExecutable, "#!/bin/sh\necho hi\n"));
    const ShellError refused = failure(notExecutable, {});
    EXPECT_EQ(refused.kind(), ShellError::Kind::launchFailed);
    EXPECT_EQ(refused.description(), QStringLiteral("Could not launch ") + notExecutable + ": Permission denied");
}

TEST(Shell, ChildThatRunsTooLongIsKilledWithItsChildren)
{
    const ShellError error = shFailure(QStringLiteral("sleep 60 & echo $!; echo partial; wait"), 300ms);
    EXPECT_EQ(error.kind(), ShellError::Kind::nonZeroExit);
    EXPECT_EQ(error.code(), SIGKILL);
    EXPECT_TRUE(error.output().contains(QStringLiteral("partial\n")));
    EXPECT_TRUE(error.output().endsWith(QStringLiteral("Stopped: no answer within 0.3 s")));
    const pid_t grandchild = error.output().section('\n', 0, 0).toInt();
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(processGone(grandchild));
}

TEST(Shell, DaemonLeftHoldingThePipeDoesNotBlock)
{
    // Like adb starting its server: the command exits, a process it started keeps
    // the output pipe open. The run must end with the command, not the daemon
    // (which outlives the test's time limit).
    const QString output = sh(QStringLiteral("sleep 600 & echo $!; echo done"));
    EXPECT_TRUE(output.endsWith(QStringLiteral("done\n")));
    const pid_t daemon = output.section('\n', 0, 0).toInt();
    ASSERT_GT(daemon, 0);
    ::kill(daemon, SIGKILL);
}

TEST(Shell, ConcurrentRunsKeepTheirOwnOutput)
{
    std::vector<std::future<QString>> runs;
    for (int index = 0; index < 16; ++index) {
        runs.push_back(std::async(std::launch::async, [index] {
            return sh(QStringLiteral("for i in 1 2 3 4 5; do echo %1; done").arg(index));
        }));
    }
    for (int index = 0; index < 16; ++index)
        EXPECT_EQ(runs[size_t(index)].get(), QStringLiteral("%1\n").arg(index).repeated(5));
}

TEST(Shell, OutputPastTheLimitStopsTheChildAndItsGroup)
{
    // Exactly the limit is still an answer.
    EXPECT_EQ(sh(QStringLiteral("head -c %1 /dev/zero | tr '\\0' a").arg(Shell::outputLimit)).size(),
              Shell::outputLimit);

    const ShellError error = shFailure(QStringLiteral("sleep 60 & echo $!; exec yes"));
    EXPECT_EQ(error.kind(), ShellError::Kind::nonZeroExit);
    EXPECT_EQ(error.code(), SIGKILL);
    EXPECT_TRUE(error.output().endsWith(QStringLiteral("y\nStopped: more than 4 MiB of output")));
    EXPECT_LE(error.output().size(), Shell::outputLimit + 64);
    const pid_t grandchild = error.output().section('\n', 0, 0).toInt();
    ASSERT_GT(grandchild, 0);
    EXPECT_TRUE(processGone(grandchild));

    // A two-byte character cut in half at the limit is dropped, not the whole text.
    const ShellError cut = shFailure(QStringLiteral("yes \u00e9"));
    EXPECT_TRUE(cut.output().startsWith(QStringLiteral("\u00e9\n\u00e9\n")));
    EXPECT_TRUE(cut.output().endsWith(QStringLiteral("\u00e9\nStopped: more than 4 MiB of output")));

    // A child that prints too much and then exits is still refused.
    const ShellError ended = shFailure(QStringLiteral("head -c 5000000 /dev/zero | tr '\\0' a"));
    EXPECT_TRUE(ended.output().endsWith(QStringLiteral("a\nStopped: more than 4 MiB of output")));
}

namespace {

// cancelAll cannot be undone, so its cases run in a child process of their own.
void expectCancellation(const std::function<void()> &body)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            body();
            std::exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace

TEST(Shell, CancelAllStopsRunningChildrenAndRefusesNewOnes)
{
    expectCancellation([] {
        auto hung = std::async(std::launch::async,
                               [] { return shFailure(QStringLiteral("sleep 60 & echo $!; echo partial; wait")); });
        std::this_thread::sleep_for(300ms);
        Shell::cancelAll();
        const ShellError error = hung.get();
        EXPECT_EQ(error.code(), SIGKILL);
        EXPECT_TRUE(error.output().endsWith(QStringLiteral("partial\nStopped: cancelled")))
            << error.output().toStdString();
        EXPECT_TRUE(processGone(error.output().section('\n', 0, 0).toInt()));

        const ShellError refused = shFailure(QStringLiteral("true"));
        EXPECT_EQ(refused.kind(), ShellError::Kind::launchFailed);
        EXPECT_EQ(refused.description(), QStringLiteral("Could not launch /bin/sh: Operation canceled"));
    });
}

TEST(Shell, CancelAllWithGraceLetsShortCommandsFinish)
{
    expectCancellation([] {
        auto hung = std::async(std::launch::async, [] { return shFailure(QStringLiteral("sleep 60")); });
        std::this_thread::sleep_for(100ms);
        Shell::cancelAll(10s);
        EXPECT_EQ(sh(QStringLiteral("echo quick")), QStringLiteral("quick\n"));
        // A shorter grace brings the stop forward; a longer one never delays it.
        Shell::cancelAll(300ms);
        Shell::cancelAll(30s);
        const ShellError error = hung.get();
        EXPECT_TRUE(error.output().endsWith(QStringLiteral("Stopped: cancelled"))) << error.output().toStdString();
        EXPECT_EQ(shFailure(QStringLiteral("true")).kind(), ShellError::Kind::launchFailed);
    });
}
