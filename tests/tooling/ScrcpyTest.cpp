#include "tooling/Scrcpy.h"
#include "support/EventLoop.h"
#include "support/Files.h"
#include "support/PhoneWorld.h"
#include "tooling/ShellError.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace lumarient;
using namespace lumarient::test;

namespace {

const QString serial = QStringLiteral("R58M123ABC");

class ScrcpyTest : public ::testing::Test, protected PhoneWorld {
protected:
    ScrcpyTest() { sim_.addPhone(makePhone(serial, QStringLiteral("SM_S918B"))); }

    static QString environment(const phonesim::SimInvocation &invocation, const std::string &name)
    {
        const auto found = invocation.environment.find(name);
        return found == invocation.environment.end() ? QString() : QString::fromStdString(found->second);
    }

    phonesim::SimInvocation lastScrcpy() const
    {
        phonesim::SimInvocation found;
        for (const phonesim::SimInvocation &invocation : sim_.invocations()) {
            if (invocation.tool == "scrcpy")
                found = invocation;
        }
        return found;
    }
};

} // namespace

TEST_F(ScrcpyTest, ArgumentListsOfTheThreeKinds)
{
    EXPECT_EQ(Scrcpy::mirrorArguments(serial, QStringLiteral("Galaxy S23 Ultra"), false),
              (QStringList{"-s", serial, "-f", "--window-title=Galaxy S23 Ultra", "--keyboard=uhid", "--stay-awake",
                           "--turn-screen-off"}));
    EXPECT_EQ(Scrcpy::mirrorArguments(serial, QStringLiteral("P"), true).last(),
              QStringLiteral("--video-bit-rate=12M"));
    EXPECT_EQ(Scrcpy::desktopArguments(serial, QStringLiteral("4"), QStringLiteral("P"), false),
              (QStringList{"-s", serial, "--display-id=4", "-f", "--window-title=P", "--keyboard=uhid", "--mouse=uhid",
                           "--stay-awake", "--turn-screen-off"}));
    EXPECT_EQ(Scrcpy::virtualDesktopArguments(serial, QStringLiteral("2560x1600/240"), QStringLiteral("P"), true),
              (QStringList{"-s", serial, "--new-display=2560x1600/240", "-f", "--window-title=P", "--keyboard=uhid",
                           "--mouse=uhid", "--stay-awake", "--video-bit-rate=12M"}));
}

TEST_F(ScrcpyTest, RunsWithOurAdbAndReportsOutputAndExitOnce)
{
    qputenv("SCRCPY_SERVER_PATH", "/inherited/server");
    sim_.update([](phonesim::SimState &state) {
        state.scrcpy.output = "INFO: Renderer: opengl\n";
        state.scrcpy.exitAfterMs = 200;
    });
    QString output;
    std::atomic<int> exits = 0;
    const QStringList arguments = Scrcpy::mirrorArguments(serial, QStringLiteral("My phone"), false);
    QPointer<QProcess> process = Scrcpy::launch(
        paths_, arguments, [&](const QString &text) { output += text; }, [&] { ++exits; });
    ASSERT_TRUE(process);
    ASSERT_TRUE(spinUntil([&] { return exits > 0 && !process; }));
    spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(output, QStringLiteral("INFO: Renderer: opengl\n"));

    const phonesim::SimInvocation invocation = lastScrcpy();
    EXPECT_EQ(qStrings(invocation.arguments), arguments);
    EXPECT_EQ(environment(invocation, "ADB"), sim_.adbPath());
    // No server file in the installation: the inherited entry stays as it was.
    EXPECT_EQ(environment(invocation, "SCRCPY_SERVER_PATH"), QStringLiteral("/inherited/server"));

    const QString server = prefix_.filePath(QStringLiteral("share/lumarient/scrcpy-server"));
    ASSERT_TRUE(writeFile(server, {}));
    exits = 0;
    sim_.clearInvocations();
    process = Scrcpy::launch(paths_, arguments, nullptr, [&] { ++exits; });
    ASSERT_TRUE(spinUntil([&] { return !sim_.invocations().empty(); }));
    process->terminate();
    ASSERT_TRUE(spinUntil([&] { return exits > 0; }));
    EXPECT_EQ(environment(lastScrcpy(), "SCRCPY_SERVER_PATH"), server);
    qunsetenv("SCRCPY_SERVER_PATH");
}

TEST_F(ScrcpyTest, InvalidUtf8ChunksAreDroppedAndAMissingExecutableFails)
{
    // A stand-in that prints a chunk that is not UTF-8, then a good one.
    const QString script = prefix_.filePath(QStringLiteral("scrcpy.sh"));
    ASSERT_TRUE(writeFile(script, "#!/bin/sh\nprintf '\\303('\nsleep 0.2\nprintf 'INFO: ok\\n'\n", true));
    defaults_.setValue(QStringLiteral("scrcpyPath"), script);
    QString output;
    bool exited = false;
    Scrcpy::launch(
        paths_, {}, [&](const QString &text) { output += text; }, [&] { exited = true; });
    ASSERT_TRUE(spinUntil([&] { return exited; }));
    EXPECT_EQ(output, QStringLiteral("INFO: ok\n"));

    defaults_.setValue(QStringLiteral("scrcpyPath"), prefix_.filePath(QStringLiteral("no/scrcpy")));
    bool called = false;
    try {
        Scrcpy::launch(
            paths_, {}, [&](const QString &) { called = true; }, [&] { called = true; });
        ADD_FAILURE() << "launch succeeded";
    } catch (const ShellError &error) {
        EXPECT_EQ(error.kind(), ShellError::Kind::launchFailed);
        EXPECT_TRUE(error.launchText().startsWith(prefix_.filePath(QStringLiteral("no/scrcpy")) + ": "))
            << error.launchText().toStdString();
    }
    spinFor(std::chrono::milliseconds(50));
    EXPECT_FALSE(called);
}

TEST_F(ScrcpyTest, StandInWindowEndsWhenItsPhoneIsUnpluggedAndDropsItsDisplay)
{
    bool exited = false;
    Scrcpy::launch(paths_, Scrcpy::virtualDesktopArguments(serial, QStringLiteral("1920x1080/160"), "P", false),
                   nullptr, [&] { exited = true; });
    ASSERT_TRUE(spinUntil([&] { return sim_.phone(serial).displays.size() == 1; }));
    EXPECT_TRUE(sim_.phone(serial).displays[0].uniqueId.starts_with("virtual:com.android.shell,2000,scrcpy,"));
    sim_.update([](phonesim::SimState &state) { state.phones[0].usbAttached = false; });
    ASSERT_TRUE(spinUntil([&] { return exited; }));
    EXPECT_TRUE(sim_.phone(serial).displays.empty());
}
