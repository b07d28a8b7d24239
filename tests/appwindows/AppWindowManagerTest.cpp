#include "AppWindowHarness.h"

#include "support/RecordingSleeper.h"

#include <gtest/gtest.h>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const QStringList notesArguments{"-s",
                                 AppWindowHarness::serial,
                                 "--new-display=800x1200/160",
                                 "--no-vd-system-decorations",
                                 "--start-app=com.example.notes",
                                 "--mouse=sdk",
                                 "--keyboard=uhid",
                                 "--no-audio",
                                 "--window-title=Notes",
                                 "--max-fps=60"};

const QString relaunchNotes = QStringLiteral("shell monkey -p com.example.notes -c android.intent.category.LAUNCHER 1");

// The manager against the simulated phone, without a desktop window list; its
// waits return at once.
class AppWindowManagerTest : public ::testing::Test {
protected:
    // Drags the notes window off the phone and waits until its scrcpy has
    // reported its display and the app was stretched over it.
    const AppWindow &openNotes()
    {
        h.manager->handleDrag(AppWindowHarness::notesDrag(), AppWindowHarness::serial);
        EXPECT_TRUE(spinUntil(
            [&] { return h.phoneCommands().contains(QStringLiteral("shell am task resize 42 0 0 800 1200")); }));
        EXPECT_NE(h.window(AppWindowHarness::notesTask), nullptr);
        return *h.window(AppWindowHarness::notesTask);
    }

    AppWindowHarness h;
    RecordingSleeper sleeper;
    AppWindowManager &manager = h.make(nullptr, sleeper);
};

TEST_F(AppWindowManagerTest, ADragOpensTheAppOnANewDisplayOnceWhateverTheRepeats)
{
    const DragEvent drag = AppWindowHarness::notesDrag();
    manager.handleDrag(drag, AppWindowHarness::serial);
    // Repeats while the first is starting, and once it runs, open nothing more.
    manager.handleDrag(drag, AppWindowHarness::serial);
    const AppWindow &window = openNotes();
    manager.handleDrag(drag, AppWindowHarness::serial);
    spinFor(100ms);

    EXPECT_EQ(h.sim_.scrcpyRuns(), QList<QStringList>{notesArguments});
    for (const phonesim::SimInvocation &run : h.sim_.invocations()) {
        if (run.tool == "scrcpy") {
            EXPECT_EQ(run.environment.at("SDL_VIDEO_DRIVER"), "x11");
        }
    }
    EXPECT_EQ(manager.windows().size(), 1);
    EXPECT_EQ(window.label, QStringLiteral("Notes"));
    EXPECT_EQ(window.originalBounds, QStringLiteral("100 200 900 1400"));
    EXPECT_TRUE(window.wasFreeform);
    EXPECT_EQ(window.capturedLandscape, false);
    // The simulated phone's first new display.
    EXPECT_EQ(window.displayID, 2);
    EXPECT_EQ(h.task(AppWindowHarness::notesTask).displayId, 2);
    EXPECT_FALSE(manager.lastError());
}

TEST_F(AppWindowManagerTest, DragsThatCannotBeTrustedOpenNothing)
{
    DragEvent command = AppWindowHarness::notesDrag();
    command.package = QStringLiteral("com.x;reboot");
    manager.handleDrag(command, AppWindowHarness::serial);
    DragEvent flat = AppWindowHarness::notesDrag();
    flat.height = 0;
    manager.handleDrag(flat, AppWindowHarness::serial);
    spinFor(200ms);
    EXPECT_TRUE(h.sim_.scrcpyRuns().isEmpty());
    EXPECT_TRUE(manager.windows().isEmpty());
}

TEST_F(AppWindowManagerTest, SendingBackMovesFocusesAndRestoresTheBoundsAndRelaunchesNothing)
{
    const AppWindow window = openNotes();
    QPointer<QProcess> process = window.process;
    h.sim_.clearInvocations();

    manager.sendToPhone(window, AppWindowHarness::serial);
    ASSERT_TRUE(spinUntil([&] { return process.isNull() && manager.windows().isEmpty(); }));
    ASSERT_TRUE(spinUntil([&] { return h.task(AppWindowHarness::notesTask).bottom == 1400; }));
    const QStringList commands = h.phoneCommands();
    const qsizetype moved = commands.indexOf(QStringLiteral("shell am display move-stack 42 0"));
    const qsizetype focused = commands.indexOf(QStringLiteral("shell am task focus 42"));
    const qsizetype resized = commands.indexOf(QStringLiteral("shell am task resize 42 100 200 900 1400"));
    EXPECT_GE(moved, 0);
    EXPECT_GT(focused, moved);
    EXPECT_GT(resized, focused);
    EXPECT_FALSE(commands.contains(relaunchNotes));
    const phonesim::SimTask task = h.task(AppWindowHarness::notesTask);
    EXPECT_EQ(task.displayId, 0);
    EXPECT_EQ(h.sim_.phone(AppWindowHarness::serial).focusedTaskId, AppWindowHarness::notesTask);
    // The task left the display before scrcpy closed it, so it survived.
    EXPECT_EQ(task.left, 100);
    EXPECT_EQ(task.right, 900);
}

TEST_F(AppWindowManagerTest, ClosingTheWindowRelaunchesTheAppWithItsBounds)
{
    const AppWindow window = openNotes();
    h.sim_.clearInvocations();
    // As when the user closes it: scrcpy ends, and its display takes the task along.
    window.process->terminate();
    ASSERT_TRUE(spinUntil([&] { return manager.windows().isEmpty(); }));
    const QStringList commands = h.phoneCommands();
    ASSERT_TRUE(commands.contains(relaunchNotes));
    // monkey started a new task for the app; that one gets the bounds back.
    const phonesim::SimPhone phone = h.sim_.phone(AppWindowHarness::serial);
    ASSERT_FALSE(phone.tasks.empty());
    const phonesim::SimTask relaunched = phone.tasks.front();
    EXPECT_EQ(relaunched.package, AppWindowHarness::notes.toStdString());
    EXPECT_EQ(relaunched.displayId, 0);
    EXPECT_TRUE(commands.contains(QStringLiteral("shell am task resize %1 100 200 900 1400").arg(relaunched.id)));
    EXPECT_GT(commands.indexOf(QStringLiteral("shell am task resize %1 100 200 900 1400").arg(relaunched.id)),
              commands.indexOf(relaunchNotes));
}

TEST_F(AppWindowManagerTest, AFullScreenAppComesBackWithoutResizing)
{
    manager.bringToMac(AndroidApp{AppWindowHarness::mailTask, AppWindowHarness::mail}, AppWindowHarness::serial, 1080,
                       2400, std::nullopt, std::nullopt);
    ASSERT_TRUE(spinUntil([&] { return h.window(AppWindowHarness::mailTask) != nullptr; }));
    const AppWindow window = *h.window(AppWindowHarness::mailTask);
    EXPECT_FALSE(window.wasFreeform);
    EXPECT_EQ(window.originalBounds, QStringLiteral("0 0 1080 2400"));
    window.process->terminate();
    ASSERT_TRUE(spinUntil([&] { return manager.windows().isEmpty(); }));
    const QStringList commands = h.phoneCommands();
    EXPECT_TRUE(
        commands.contains(QStringLiteral("shell monkey -p com.example.mail -c android.intent.category.LAUNCHER 1")));
    EXPECT_TRUE(commands.filter(QStringLiteral("am task resize")).isEmpty());
}

TEST_F(AppWindowManagerTest, QuittingClosesEveryWindowAndRelaunchesNothing)
{
    openNotes();
    manager.bringToMac(AndroidApp{AppWindowHarness::mailTask, AppWindowHarness::mail}, AppWindowHarness::serial, 1080,
                       2400, std::nullopt, std::nullopt);
    ASSERT_TRUE(spinUntil([&] { return manager.windows().size() == 2; }));
    h.sim_.clearInvocations();

    manager.stopAll();
    EXPECT_TRUE(manager.windows().isEmpty());
    ASSERT_TRUE(spinUntil([&] { return h.scrcpy.runningCount() == 0; }));
    spinFor(200ms);
    EXPECT_TRUE(h.phoneCommands().filter(QStringLiteral("monkey")).isEmpty());
}

TEST_F(AppWindowManagerTest, AScrcpyThatCannotStartIsReported)
{
    h.defaults_.setValue(QStringLiteral("scrcpyPath"), h.prefix_.filePath(QStringLiteral("no-such-scrcpy")));
    manager.handleDrag(AppWindowHarness::notesDrag(), AppWindowHarness::serial);
    ASSERT_TRUE(spinUntil([&] { return manager.lastError().has_value(); }));
    EXPECT_TRUE(manager.lastError()->startsWith(QStringLiteral("Couldn't open Notes on the computer: ")))
        << manager.lastError()->toStdString();
    EXPECT_TRUE(manager.windows().isEmpty());
    // Nothing is left half-open: the next drag tries again.
    h.defaults_.setValue(QStringLiteral("scrcpyPath"), h.sim_.scrcpyPath());
    openNotes();
}

TEST(AppWindowManagerDrags, AWatcherThatCannotStartLeavesDraggingOffWithTheReason)
{
    AppWindowHarness h;
    QTemporaryDir empty;
    const ToolPaths emptyInstallation{h.defaults_, empty.path()};
    AppWindowManager::Dependencies dependencies{h.adb_, h.scrcpy, ThreadSleeper::instance(), SteadyClock::instance()};
    // Neither the installation nor the source tree has the phone's archive.
    dependencies.makeWatcher = [&] {
        return std::make_unique<WindowWatcherClient>(
            WindowWatcherClient::Dependencies{emptyInstallation, h.defaults_, SteadyClock::instance(), empty.path()});
    };
    AppWindowManager manager(std::move(dependencies));
    int changes = 0;
    QObject::connect(&manager, &AppWindowManager::changed, [&] { ++changes; });

    manager.enableDrag(AppWindowHarness::serial);
    ASSERT_TRUE(spinUntil([&] { return manager.lastError().has_value(); }));
    EXPECT_EQ(
        manager.lastError(),
        QStringLiteral("Couldn't watch for dragged windows: The phone window watcher is missing from this build."));
    EXPECT_FALSE(manager.isDragEnabled());
    EXPECT_FALSE(manager.watcherSerial());
    EXPECT_EQ(manager.watcher(), nullptr);
    EXPECT_GT(changes, 0);
    // Switching it off again is harmless.
    manager.disableDrag(false);
    manager.setCursorEdge(QStringLiteral("left"));
}

} // namespace
