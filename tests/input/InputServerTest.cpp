#include "input/InputServer.h"

#include "model/LumarientError.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"
#include "support/PhoneProgramStart.h"
#include "support/PhoneWorld.h"
#include "tooling/ShellError.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <optional>

using namespace lumarient;
using namespace lumarient::test;

namespace {

const QString serial = QStringLiteral("R58M123ABC");

class InputServerTest : public ::testing::Test, protected PhoneWorld {
protected:
    InputServerTest()
    {
        sim_.addPhone(makePhone(serial, QStringLiteral("SM_S918B")));
        EXPECT_TRUE(writeInputArchive(jarPath()));
    }

    QString jarPath() const { return prefix_.filePath(QStringLiteral("share/lumarient/lumarient-input.jar")); }

    InputServer::Dependencies dependencies() { return {paths_, clock_, sourceTree_.path()}; }

    void script(const std::function<void(phonesim::SimInputServerScript &)> &change)
    {
        sim_.update([&](phonesim::SimState &state) { change(state.phones.front().inputServer); });
    }

    // Starts `server` on the phone; the outcome fills in as the event loop runs.
    std::shared_ptr<StartOutcome> beginStart(InputServer &server)
    {
        auto outcome = std::make_shared<StartOutcome>();
        server.start(
            serial,
            [outcome](std::exception_ptr failure) {
                outcome->reported = true;
                outcome->failure = failure;
            },
            [this] { ++exits_; });
        return outcome;
    }

    StartOutcome start(InputServer &server)
    {
        const std::shared_ptr<StartOutcome> outcome = beginStart(server);
        EXPECT_TRUE(spinUntil([&] { return outcome->reported; }));
        return *outcome;
    }

    std::vector<phonesim::SimInputRecord> waitForRecords(std::size_t count)
    {
        spinUntil([&] { return sim_.inputRecords().size() >= count; });
        return sim_.inputRecords();
    }

    QTemporaryDir sourceTree_;
    ManualClock clock_;
    int exits_ = 0;
};

phonesim::SimInputRecord mouse(int buttons, int dx, int dy, int wheel = 0, int pan = 0)
{
    return {serial.toStdString(), "mouse", buttons, dx, dy, wheel, pan, 0, {}, {}};
}

phonesim::SimInputRecord keyboard(int modifiers, std::vector<int> keys)
{
    return {.serial = serial.toStdString(),
            .kind = "keyboard",
            .modifiers = modifiers,
            .keys = std::move(keys),
            .bytes = {}};
}

void expectRecords(const std::vector<phonesim::SimInputRecord> &actual,
                   const std::vector<phonesim::SimInputRecord> &expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_EQ(phonesim::toJson(actual[index]), phonesim::toJson(expected[index])) << "record " << index;
    }
}

TEST_F(InputServerTest, StartCopiesTheArchiveAndRunsTheInputProgram)
{
    InputServer server(dependencies());
    const StartOutcome outcome = start(server);
    ASSERT_FALSE(outcome.failure) << outcome.failureText().toStdString();
    EXPECT_TRUE(server.isReady());
    EXPECT_EQ(sim_.phone(serial).pushedFiles.at("/data/local/tmp/lumarient-input.jar"), jarPath().toStdString());
    EXPECT_EQ(sim_.adbCommands(),
              QStringList({QStringLiteral("-s R58M123ABC push ") + jarPath() +
                               QStringLiteral(" /data/local/tmp/lumarient-input.jar"),
                           QStringLiteral("-s R58M123ABC shell CLASSPATH=/data/local/tmp/lumarient-input.jar "
                                          "app_process / com.corvantil.lumarient.input.LumarientInput")}));
    // The running link is left alone by a second start.
    EXPECT_FALSE(start(server).failure);
    EXPECT_EQ(sim_.adbCommands().size(), 2);
}

TEST_F(InputServerTest, RecordsReachThePhoneBitForBit)
{
    InputServer server(dependencies());
    ASSERT_FALSE(start(server).failure);
    const Buttons none;

    server.sendKeys(0x02, {0x04});
    server.sendKeys(0x00, {});
    server.sendMouse(0, 0, Buttons{Buttons::middle}, 0, 0);
    server.sendMouse(0, 0, none, 1, -1);
    // A burst faster than the flush interval: one record carries all of it.
    for (int step = 0; step < 100; ++step)
        server.sendMouse(1, step % 2 == 0 ? 3 : -1, none, 0, 0);
    expectRecords(waitForRecords(5), {keyboard(0x02, {4, 0, 0, 0, 0, 0}), keyboard(0x00, {0, 0, 0, 0, 0, 0}),
                                      mouse(4, 0, 0), mouse(0, 0, 0, 1, -1), mouse(0, 100, 100)});
    spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(sim_.inputRecords().size(), 5u);
}

TEST_F(InputServerTest, NothingIsSentBeforeReadyOrAfterStopButTheLastMovementIs)
{
    InputServer server(dependencies());
    server.sendKeys(0x02, {0x04});
    server.stop(); // never started: nothing happens
    ASSERT_FALSE(start(server).failure);
    server.sendMouse(5, -5, {}, 0, 0);
    server.stop();
    server.sendKeys(0x02, {0x04});
    server.stop();
    expectRecords(waitForRecords(1), {mouse(0, 5, -5)});
    spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(sim_.inputRecords().size(), 1u);
    EXPECT_EQ(exits_, 0);
    EXPECT_FALSE(server.isReady());
}

TEST_F(InputServerTest, FatalOutputBeforeReadyFailsTheStartWithThatText)
{
    script([](phonesim::SimInputServerScript &input) { input.startOutput = "  fatal: cannot open uinput\n"; });
    InputServer server(dependencies());
    const StartOutcome outcome = start(server);
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failureText(), QStringLiteral("fatal: cannot open uinput"));
    EXPECT_FALSE(server.isReady());
    EXPECT_FALSE(server.hasProcess());
}

TEST_F(InputServerTest, SilenceFailsTheStartOnlyWhenTheLimitHasPassed)
{
    script([](phonesim::SimInputServerScript &input) { input.startOutput = ""; });
    InputServer server(dependencies());
    const std::shared_ptr<StartOutcome> outcome = beginStart(server);
    ASSERT_TRUE(spinUntil([&] { return server.hasProcess(); }));
    clock_.advance(InputServer::startLimit - std::chrono::milliseconds(1));
    spinFor(std::chrono::milliseconds(200));
    EXPECT_FALSE(outcome->reported);
    clock_.advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(spinUntil([&] { return outcome->reported; }));
    EXPECT_EQ(outcome->failureText(), QStringLiteral("The phone's input server didn't start in time."));
    EXPECT_FALSE(server.hasProcess());
    EXPECT_EQ(exits_, 0);
}

TEST_F(InputServerTest, AMissingArchiveOrAFailedCopyStartsNothing)
{
    QFile::remove(jarPath());
    InputServer server(dependencies());
    StartOutcome outcome = start(server);
    EXPECT_EQ(outcome.failureText(), QStringLiteral("The phone input server is missing from this build."));
    EXPECT_TRUE(sim_.adbCommands().isEmpty());

    ASSERT_TRUE(writeInputArchive(jarPath()));
    sim_.addRule({"adb", "*", "push", "adb: error: failed to copy: remote couldn't create file\n", 1, 1, 0});
    outcome = start(server);
    ASSERT_TRUE(outcome.failure);
    EXPECT_THROW(std::rethrow_exception(outcome.failure), ShellError);
    EXPECT_EQ(sim_.adbCommands().size(), 1);
    EXPECT_FALSE(server.hasProcess());
}

TEST_F(InputServerTest, ADevelopmentBuildFindsTheArchiveInItsSourceTree)
{
    QFile::remove(jarPath());
    EXPECT_EQ(InputServer::jarPath(paths_, sourceTree_.path()), std::nullopt);
    const QString built = sourceTree_.filePath(QStringLiteral("companion/inputserver/build/lumarient-input.jar"));
    ASSERT_TRUE(writeInputArchive(built));
    EXPECT_EQ(InputServer::jarPath(paths_, sourceTree_.path()), built);
    // The installation's copy wins over the source tree's.
    ASSERT_TRUE(writeInputArchive(jarPath()));
    EXPECT_EQ(InputServer::jarPath(paths_, sourceTree_.path()), jarPath());
}

TEST_F(InputServerTest, APhoneProgramThatDiesEndsTheSession)
{
    script([](phonesim::SimInputServerScript &input) { input.exitAfterRecords = 1; });
    InputServer server(dependencies());
    ASSERT_FALSE(start(server).failure);
    server.sendKeys(0x00, {0x29});
    ASSERT_TRUE(spinUntil([&] { return exits_ == 1; }));
    server.stop();
    spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(exits_, 1);
}

TEST_F(InputServerTest, AnUnpluggedPhoneEndsTheSession)
{
    InputServer server(dependencies());
    ASSERT_FALSE(start(server).failure);
    sim_.update([](phonesim::SimState &state) { state.phones.front().usbAttached = false; });
    EXPECT_TRUE(spinUntil([&] { return exits_ == 1; }));
}

TEST_F(InputServerTest, AFailedWriteDropsLaterRecordsAndEndsTheSession)
{
    script([](phonesim::SimInputServerScript &input) { input.closeInputAfterRecords = 1; });
    InputServer server(dependencies());
    ASSERT_FALSE(start(server).failure);
    server.sendKeys(0x00, {0x04});
    waitForRecords(1);
    server.sendKeys(0x00, {});
    ASSERT_TRUE(spinUntil([&] { return !server.isReady(); }));
    server.sendKeys(0x00, {0x05});
    EXPECT_TRUE(spinUntil([&] { return exits_ == 1; }));
    EXPECT_EQ(sim_.inputRecords().size(), 1u);
}

} // namespace
