#include "appwindows/WindowWatcherClient.h"

#include "model/LumarientError.h"
#include "support/EventLoop.h"
#include "support/ManualClock.h"
#include "support/PhoneProgramStart.h"
#include "support/PhoneWorld.h"
#include "tooling/ShellError.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const QString serial = QStringLiteral("R58M123ABC");
const std::string freeformSetting = "global.enable_freeform_support";
const QString watcherShell = QStringLiteral("-s R58M123ABC shell CLASSPATH=/data/local/tmp/lumarient-input.jar "
                                            "app_process / com.corvantil.lumarient.input.WindowWatcher");

class WindowWatcherClientTest : public ::testing::Test, protected PhoneWorld {
protected:
    WindowWatcherClientTest()
    {
        sim_.addPhone(makePhone(serial, QStringLiteral("SM_S918B")));
        EXPECT_TRUE(writeInputArchive(prefix_.filePath(QStringLiteral("share/lumarient/lumarient-input.jar"))));
    }

    WindowWatcherClient::Dependencies dependencies() { return {paths_, defaults_, clock_, sourceTree_.path()}; }

    void script(const std::function<void(phonesim::SimWindowWatcherScript &)> &change)
    {
        sim_.update([&](phonesim::SimState &state) { change(state.phones.front().windowWatcher); });
    }

    void setFreeform(const std::optional<std::string> &value)
    {
        sim_.update([&](phonesim::SimState &state) {
            if (value)
                state.phones.front().settings[freeformSetting] = *value;
            else
                state.phones.front().settings.erase(freeformSetting);
        });
    }

    std::optional<std::string> freeform() const
    {
        const phonesim::SimPhone phone = sim_.phone(serial);
        const auto found = phone.settings.find(freeformSetting);
        return found == phone.settings.end() ? std::nullopt : std::optional<std::string>(found->second);
    }

    // The adb commands that wrote the freeform setting.
    QStringList freeformWrites() const
    {
        QStringList writes;
        for (const QString &command : sim_.adbCommands()) {
            if (command.contains(QLatin1String("enable_freeform_support")) && !command.contains(QLatin1String(" get ")))
                writes.append(command);
        }
        return writes;
    }

    std::shared_ptr<StartOutcome> beginStart(WindowWatcherClient &client)
    {
        auto outcome = std::make_shared<StartOutcome>();
        client.start(
            serial, [this](const DragEvent &event) { drags_.push_back(event); }, [this] { ++exits_; },
            [outcome](std::exception_ptr failure) {
                outcome->reported = true;
                outcome->failure = failure;
            });
        return outcome;
    }

    StartOutcome start(WindowWatcherClient &client)
    {
        const std::shared_ptr<StartOutcome> outcome = beginStart(client);
        EXPECT_TRUE(spinUntil([&] { return outcome->reported; }));
        return *outcome;
    }

    // Starts a watcher and waits until the phone has been told to watch.
    void startWatching(WindowWatcherClient &client)
    {
        ASSERT_FALSE(start(client).failure);
        ASSERT_TRUE(spinUntil([&] { return sim_.watcherInput().contains(QStringLiteral("watch 0")); }));
    }

    QTemporaryDir sourceTree_;
    ManualClock clock_;
    std::vector<DragEvent> drags_;
    int exits_ = 0;
    const QString key_ = WindowWatcherClient::freeformKey(serial);
};

TEST_F(WindowWatcherClientTest, StartCopiesTheArchiveSavesFreeformAndAsksThePhoneToWatch)
{
    setFreeform("0");
    WindowWatcherClient client(dependencies());
    startWatching(client);
    EXPECT_TRUE(client.isReady());
    const QStringList commands = sim_.adbCommands();
    ASSERT_EQ(commands.size(), 3);
    EXPECT_TRUE(commands[0].startsWith(QStringLiteral("-s R58M123ABC push ")));
    EXPECT_TRUE(commands[0].endsWith(QStringLiteral(" /data/local/tmp/lumarient-input.jar")));
    EXPECT_EQ(commands[1], QStringLiteral("-s R58M123ABC shell settings get global enable_freeform_support"));
    EXPECT_EQ(commands[2], watcherShell);
    EXPECT_EQ(defaults_.string(key_), QStringLiteral("0"));

    // Starting again while it runs changes nothing.
    EXPECT_FALSE(start(client).failure);
    EXPECT_EQ(sim_.adbCommands().size(), 3);

    client.stop(true);
    EXPECT_FALSE(client.isReady());
    EXPECT_FALSE(client.hasProcess());
    EXPECT_FALSE(defaults_.contains(key_));
    EXPECT_TRUE(spinUntil([&] { return sim_.watcherInput().contains(QStringLiteral("stop")); }));
    EXPECT_EQ(exits_, 0);
}

TEST_F(WindowWatcherClientTest, DragReportsAmongNoiseBecomeEvents)
{
    WindowWatcherClient client(dependencies());
    startWatching(client);
    sim_.printFromWatcher("starting up\ndrag 43 ? left 0 0 300 300\n\x01\x02 \n\xff\xfe\n"
                          "drag 42 com.example.app left 0 120 540 960 land\n");
    ASSERT_TRUE(spinUntil([&] { return drags_.size() == 1; }));
    EXPECT_EQ(drags_[0],
              (DragEvent{42, QStringLiteral("com.example.app"), DragEvent::Edge::left, 0, 120, 540, 960, true}));
    EXPECT_TRUE(client.isReady());
}

TEST_F(WindowWatcherClientTest, TheCursorEdgeIsSentOnlyWhenItChanges)
{
    WindowWatcherClient client(dependencies());
    // An edge from before the watcher ran reaches it once it runs.
    client.setCursorEdge(QStringLiteral("top"));
    startWatching(client);
    client.setCursorEdge(QStringLiteral("top"));
    client.setCursorEdge(QStringLiteral("left"));
    client.setCursorEdge(QStringLiteral("left"));
    client.setCursorEdge(std::nullopt);
    client.stop(true);
    client.setCursorEdge(QStringLiteral("right"));
    ASSERT_TRUE(spinUntil([&] { return sim_.watcherInput().size() >= 5; }));
    spinFor(100ms);
    EXPECT_EQ(sim_.watcherInput(), (QStringList{QStringLiteral("watch 0"), QStringLiteral("cursoredge top"),
                                                QStringLiteral("cursoredge left"), QStringLiteral("cursoredge none"),
                                                QStringLiteral("stop")}));
}

TEST_F(WindowWatcherClientTest, StoppingPutsFreeformBackAsItWas)
{
    const struct {
        std::optional<std::string> before;
        bool synchronously;
        QStringList writes;
    } cases[] = {
        {std::nullopt, true, {QStringLiteral("-s R58M123ABC shell settings delete global enable_freeform_support")}},
        {"0", false, {QStringLiteral("-s R58M123ABC shell settings put global enable_freeform_support 0")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.before.value_or("(unset)") + (c.synchronously ? " at once" : " in the background"));
        setFreeform(c.before);
        sim_.clearInvocations();
        WindowWatcherClient client(dependencies());
        startWatching(client);
        ASSERT_TRUE(spinUntil([&] { return freeform() == "1"; }));
        client.stop(c.synchronously);
        if (!c.synchronously) {
            EXPECT_TRUE(spinUntil([&] { return freeformWrites() == c.writes && freeform() == c.before; }));
        }
        EXPECT_EQ(freeformWrites(), c.writes);
        EXPECT_EQ(freeform(), c.before);
        EXPECT_FALSE(defaults_.contains(key_));
    }
}

TEST_F(WindowWatcherClientTest, AfterACrashTheNextRunRestoresTheValueSeenBeforeTheFirst)
{
    // A run that ended with the app: its key stayed, and the phone kept freeform on.
    defaults_.setValue(key_, QStringLiteral("0"));
    setFreeform("1");
    WindowWatcherClient client(dependencies());
    startWatching(client);
    EXPECT_EQ(defaults_.string(key_), QStringLiteral("0"));
    client.stop(true);
    EXPECT_EQ(freeform(), "0");
    EXPECT_FALSE(defaults_.contains(key_));
}

TEST_F(WindowWatcherClientTest, AWatcherThatEndsByItselfReportsItAndPutsFreeformBack)
{
    script([](phonesim::SimWindowWatcherScript &watcher) { watcher.exitAfterLines = 1; });
    WindowWatcherClient client(dependencies());
    ASSERT_FALSE(start(client).failure);
    ASSERT_TRUE(spinUntil([&] { return exits_ == 1; }));
    EXPECT_FALSE(client.hasProcess());
    EXPECT_FALSE(client.isReady());
    EXPECT_FALSE(defaults_.contains(key_));
    EXPECT_TRUE(spinUntil([&] { return freeform() == std::nullopt; }));
    EXPECT_EQ(freeformWrites(),
              QStringList{QStringLiteral("-s R58M123ABC shell settings delete global enable_freeform_support")});
    // Writes and a stop after the child has gone are harmless and report nothing more.
    client.setCursorEdge(QStringLiteral("left"));
    client.stop(true);
    EXPECT_EQ(exits_, 1);
    EXPECT_EQ(freeformWrites().size(), 1);

    // A later start runs a new watcher.
    script([](phonesim::SimWindowWatcherScript &watcher) { watcher.exitAfterLines = -1; });
    startWatching(client);
    EXPECT_TRUE(client.isReady());
}

TEST_F(WindowWatcherClientTest, StartFailuresStopTheWatcherAndPutFreeformBack)
{
    const QString late = QStringLiteral("The phone's window watcher didn't start in time.");
    const struct {
        const char *name;
        std::string startOutput;
        bool exitAfterStart;
        QString failure;
        int exits;
    } cases[] = {
        {"fatal", "  fatal: no task organizer\n", false, QStringLiteral("fatal: no task organizer"), 0},
        {"silence", "", false, late, 0},
        {"exit", "", true, late, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        script([&](phonesim::SimWindowWatcherScript &watcher) {
            watcher.startOutput = c.startOutput;
            watcher.exitAfterStart = c.exitAfterStart;
        });
        setFreeform("0");
        sim_.clearInvocations();
        exits_ = 0;
        WindowWatcherClient client(dependencies());
        const std::shared_ptr<StartOutcome> outcome = beginStart(client);
        ASSERT_TRUE(spinUntil([&] { return outcome->reported || sim_.adbCommands().contains(watcherShell); }));
        spinFor(300ms);
        if (!outcome->reported) {
            clock_.advance(WindowWatcherClient::startLimit - 1ms);
            spinFor(200ms);
            EXPECT_FALSE(outcome->reported);
            clock_.advance(1ms);
        }
        ASSERT_TRUE(spinUntil([&] { return outcome->reported; }));
        EXPECT_EQ(outcome->failureText(), c.failure);
        EXPECT_FALSE(client.hasProcess());
        EXPECT_FALSE(defaults_.contains(key_));
        EXPECT_TRUE(spinUntil([&] {
            return freeformWrites() ==
                   QStringList{QStringLiteral("-s R58M123ABC shell settings put global enable_freeform_support 0")};
        }));
        EXPECT_EQ(exits_, c.exits);
        EXPECT_FALSE(sim_.watcherInput().contains(QStringLiteral("watch 0")));
    }
}

TEST_F(WindowWatcherClientTest, AMissingArchiveOrAFailedCopyTouchesNoSetting)
{
    QFile::remove(prefix_.filePath(QStringLiteral("share/lumarient/lumarient-input.jar")));
    WindowWatcherClient client(dependencies());
    StartOutcome outcome = start(client);
    EXPECT_EQ(outcome.failureText(), QStringLiteral("The phone window watcher is missing from this build."));
    EXPECT_TRUE(sim_.adbCommands().isEmpty());

    ASSERT_TRUE(writeInputArchive(prefix_.filePath(QStringLiteral("share/lumarient/lumarient-input.jar"))));
    sim_.addRule({"adb", "*", "push", "adb: error: failed to copy: remote couldn't create file\n", 1, 1, 0});
    outcome = start(client);
    ASSERT_TRUE(outcome.failure);
    EXPECT_THROW(std::rethrow_exception(outcome.failure), ShellError);
    EXPECT_EQ(sim_.adbCommands().size(), 1);
    EXPECT_FALSE(client.hasProcess());
    EXPECT_FALSE(defaults_.contains(key_));
}

TEST_F(WindowWatcherClientTest, AnUnreadableSettingCountsAsUnset)
{
    setFreeform("0");
    sim_.addRule({"adb", "*", "shell settings get", "error: closed\n", 1, 1, 0});
    WindowWatcherClient client(dependencies());
    startWatching(client);
    EXPECT_EQ(defaults_.string(key_), QStringLiteral("null"));
    client.stop(true);
    EXPECT_EQ(freeformWrites(),
              QStringList{QStringLiteral("-s R58M123ABC shell settings delete global enable_freeform_support")});
}

} // namespace
