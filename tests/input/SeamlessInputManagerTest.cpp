#include "input/SeamlessInputManager.h"

#include "devices/ScrcpySupervisor.h"
#include "input/InputFakes.h"
#include "input/SeamlessCapture.h"
#include "platform/Sleeper.h"
#include "platform/UserDefaults.h"
#include "platform/dbus/LogindSessionLockWatcher.h"
#include "support/Devices.h"
#include "support/EventLoop.h"
#include "support/FakeLogind.h"
#include "support/PhoneProgramStart.h"
#include "support/PhoneWorld.h"
#include "support/PrivateBus.h"
#include "tooling/ADB.h"
#include "tooling/ToolPaths.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace lumarient;
using namespace lumarient::test;

namespace {

const QString serialA = QStringLiteral("R58M123ABC");
const QString serialB = QStringLiteral("R58M456DEF");
constexpr std::uint32_t mainDisplay = 1;
constexpr std::uint32_t activeWindow = 42;

// The manager with fake desktop parts (a 1920 x 1080 main display, a tap, a
// window list, virtual monitors) and simulated phones behind real adb and
// scrcpy command lines.
class SeamlessInputManagerTest : public ::testing::Test, protected PhoneWorld {
protected:
    SeamlessInputManagerTest()
    {
        sim_.addPhone(makePhone(serialA, QStringLiteral("Pixel")));
        sim_.addPhone(makePhone(serialB, QStringLiteral("Galaxy")));
        EXPECT_TRUE(writeInputArchive(prefix_.filePath(QStringLiteral("share/lumarient/lumarient-input.jar"))));
        layout_.displays[mainDisplay] = {0, 0, 1920, 1080};
        windows_.active = activeWindow;
    }

    SeamlessInputManager &make(InputTap *tap, SessionLockWatcher *sessionLock = nullptr)
    {
        SeamlessInputManager::Platform platform{&monitors_, &layout_, tap, &windows_, &scrcpy_, sessionLock, &drags_};
        manager_ = std::make_unique<SeamlessInputManager>(
            platform, SeamlessInputManager::Dependencies{paths_, adb_, defaults_, sourceTree_.path()});
        return *manager_;
    }

    // Starts `config` on `serial` and waits until its audio runs.
    void startFully(const DeviceConfig &started, const QString &serial)
    {
        manager_->start(started, phone(serial));
        ASSERT_TRUE(spinUntil([&] { return manager_->audioProcess(started.id).has_value(); }))
            << manager_->lastError().value_or(QString()).toStdString();
    }

    std::optional<DisplayRect> standIn() const
    {
        for (const auto &[id, rect] : layout_.displays) {
            if (id != mainDisplay)
                return rect;
        }
        return std::nullopt;
    }

    QList<QStringList> scrcpyRuns() const { return sim_.scrcpyRuns(); }

    // Moves the pointer across the main display's right edge onto the stand-in.
    void crossRightEdge() { manager_->capture()->handle({.position = {1920, 540}}); }

    QTemporaryDir sourceTree_;
    ScrcpySupervisor scrcpy_{paths_};
    FakeLayout layout_;
    FakeMonitors monitors_{layout_};
    FakeTap tap_;
    FakeWindowList windows_;
    FakeWindowDrags drags_;
    std::unique_ptr<SeamlessInputManager> manager_;
    const DeviceConfig pixel = makeConfig(QStringLiteral("Pixel"));
    const DeviceConfig galaxy = makeConfig(QStringLiteral("Galaxy"));
};

TEST_F(SeamlessInputManagerTest, StartMakesTheStandInBesideTheMainDisplayAndRunsServerCaptureAndAudio)
{
    SeamlessInputManager &manager = make(&tap_);
    startFully(pixel, serialA);

    ASSERT_EQ(monitors_.requests.size(), 1u);
    EXPECT_EQ(monitors_.requests[0].name, QStringLiteral("Pixel — Keyboard & Mouse"));
    EXPECT_EQ(monitors_.requests[0].width, 1920);
    EXPECT_EQ(monitors_.requests[0].height, 1080);
    EXPECT_EQ(monitors_.requests[0].refreshRate, 60.0);
    EXPECT_EQ(standIn(), (DisplayRect{1920, 0, 1920, 1080}));
    EXPECT_EQ(manager.standInPlacement(), Placement::right);
    EXPECT_EQ(manager.activeConfigIDs(), std::set<QUuid>{pixel.id});
    EXPECT_TRUE(sim_.adbCommands().contains(QStringLiteral("-s R58M123ABC shell CLASSPATH=/data/local/tmp/"
                                                           "lumarient-input.jar app_process / "
                                                           "com.corvantil.lumarient.input.LumarientInput")));
    EXPECT_TRUE(tap_.started);
    EXPECT_EQ(drags_.watched, serialA);
    ASSERT_TRUE(spinUntil([&] { return !scrcpyRuns().isEmpty(); }));
    EXPECT_EQ(scrcpyRuns(),
              QList<QStringList>({{"-s", serialA, "--no-video", "--no-window", "--keyboard=disabled",
                                   "--mouse=disabled", "--gamepad=disabled", "--window-title=Lumarient Audio"}}));
    // The phone was registered with its own screen size: crossing captures it.
    crossRightEdge();
    EXPECT_EQ(manager.capture()->activeDisplayID(), manager.standInDisplayID());
    EXPECT_FALSE(manager.lastError());
}

TEST_F(SeamlessInputManagerTest, WindowDraggingRunsWithTheSessionAndHearsOnlyItsPhonesEdges)
{
    SeamlessInputManager &manager = make(&tap_);
    startFully(pixel, serialA);
    EXPECT_EQ(drags_.calls, QStringList{"enable " + serialA});
    const std::uint32_t pixelDisplay = *manager.standInDisplayID();
    startFully(galaxy, serialB);
    // One phone's windows are watched at a time: the first keeps it.
    EXPECT_EQ(drags_.calls, (QStringList{"enable " + serialA, "enable " + serialB}));
    const std::uint32_t galaxyDisplay = *manager.standInDisplayID();
    drags_.calls.clear();

    ASSERT_TRUE(manager.capture()->onCursorEdgeChanged);
    manager.capture()->onCursorEdgeChanged(pixelDisplay, QStringLiteral("left"));
    manager.capture()->onCursorEdgeChanged(galaxyDisplay, QStringLiteral("top"));
    manager.capture()->onCursorEdgeChanged(std::nullopt, std::nullopt);
    EXPECT_EQ(drags_.calls, (QStringList{"edge left", "edge none"}));
    drags_.calls.clear();

    manager.stop(galaxy.id);
    EXPECT_TRUE(drags_.calls.isEmpty());
    manager.stop(pixel.id);
    EXPECT_EQ(drags_.calls, QStringList{"disable async"});
}

TEST_F(SeamlessInputManagerTest, StopTearsEverythingDownAndBringsBackThePreviousWindow)
{
    SeamlessInputManager &manager = make(&tap_);
    startFully(pixel, serialA);
    QPointer<QProcess> audio = *manager.audioProcess(pixel.id);
    windows_.active = 7; // the phone's turn changed the focus

    manager.stop(pixel.id);
    EXPECT_TRUE(manager.activeConfigIDs().empty());
    EXPECT_FALSE(standIn());
    EXPECT_FALSE(tap_.started);
    EXPECT_EQ(windows_.activated, std::vector<std::uint32_t>{activeWindow});
    EXPECT_FALSE(manager.standInDisplayID());
    EXPECT_TRUE(spinUntil([&] { return audio.isNull(); }));
    // A second stop has nothing to do.
    manager.stop(pixel.id);
    EXPECT_EQ(windows_.activated.size(), 1u);
}

TEST_F(SeamlessInputManagerTest, TheInputServersDeathWhileDrivingEndsTheSession)
{
    sim_.update([](phonesim::SimState &state) { state.phones.front().inputServer.exitAfterRecords = 1; });
    SeamlessInputManager &manager = make(&tap_);
    startFully(pixel, serialA);
    crossRightEdge();
    ASSERT_TRUE(tap_.grabbed);

    manager.capture()->handle({.type = InputTap::EventType::keyDown, .position = {}, .keyCode = 30});
    ASSERT_TRUE(spinUntil([&] { return manager.activeConfigIDs().empty(); }));
    EXPECT_FALSE(standIn());
    EXPECT_FALSE(tap_.grabbed);
    EXPECT_FALSE(tap_.cursorHidden);
    EXPECT_FALSE(manager.capture()->activeDisplayID());
    EXPECT_EQ(windows_.activated, std::vector<std::uint32_t>{activeWindow});
}

TEST_F(SeamlessInputManagerTest, ALockedSessionTakesBackKeyboardAndMouseWithEverythingReleased)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.running()) << "dbus-daemon did not start";
    FakeLogind logind(bus.connect(QStringLiteral("logind")));
    const QString session = QStringLiteral("/org/freedesktop/login1/session/_4");
    logind.sessionOfCaller = session;
    LogindSessionLockWatcher lockWatcher(bus.connect(QStringLiteral("app")));
    ASSERT_TRUE(spinUntil([&] { return !lockWatcher.sessionPath().isEmpty(); }, std::chrono::seconds(5)));

    SeamlessInputManager &manager = make(&tap_, &lockWatcher);
    // The manager lets go of the watcher as it ends: it must end first.
    const auto endManagerFirst = qScopeGuard([&] { manager_.reset(); });
    startFully(pixel, serialA);
    // Locked while on the computer: nothing to give back.
    logind.lock(session);
    spinFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(sim_.inputRecords().empty());

    crossRightEdge();
    ASSERT_TRUE(tap_.grabbed);
    for (unsigned code : {29, 30}) // left Control, then A
        manager.capture()->handle({.type = InputTap::EventType::keyDown, .position = {}, .keyCode = code});
    manager.capture()->handle({.type = InputTap::EventType::buttonDown, .position = {}});
    ASSERT_TRUE(spinUntil([&] { return sim_.inputRecords().size() == 3; }));

    logind.lock(session);
    ASSERT_TRUE(spinUntil([&] { return !manager.capture()->activeDisplayID(); }, std::chrono::seconds(5)));
    EXPECT_FALSE(tap_.grabbed);
    EXPECT_FALSE(tap_.cursorHidden);
    EXPECT_EQ(windows_.activated, std::vector<std::uint32_t>{activeWindow});
    ASSERT_TRUE(spinUntil([&] { return sim_.inputRecords().size() == 5; }));
    const std::vector<phonesim::SimInputRecord> records = sim_.inputRecords();
    EXPECT_EQ(records[3].kind, "keyboard");
    EXPECT_EQ(records[3].modifiers, 0);
    EXPECT_EQ(records[3].keys, std::vector<int>(6, 0));
    EXPECT_EQ(records[4].kind, "mouse");
    EXPECT_EQ(records[4].buttons, 0);
    // The session goes on: the next crossing drives the phone again.
    EXPECT_EQ(manager.activeConfigIDs(), std::set<QUuid>{pixel.id});
    crossRightEdge();
    EXPECT_TRUE(manager.capture()->activeDisplayID());
}

TEST_F(SeamlessInputManagerTest, ASecondPhoneStartsWhileTheFirstIsDrivenAndStoppingOneKeepsTheOther)
{
    SeamlessInputManager &manager = make(&tap_);
    startFully(pixel, serialA);
    const std::optional<std::uint32_t> pixelDisplay = manager.standInDisplayID();
    crossRightEdge();
    ASSERT_EQ(manager.capture()->activeDisplayID(), pixelDisplay);

    startFully(galaxy, serialB);
    EXPECT_EQ(manager.activeConfigIDs(), (std::set<QUuid>{pixel.id, galaxy.id}));
    EXPECT_EQ(manager.capture()->activeDisplayID(), pixelDisplay);
    EXPECT_NE(manager.standInDisplayID(), pixelDisplay);
    EXPECT_TRUE(spinUntil([&] { return scrcpyRuns().size() == 2; }));

    manager.stop(galaxy.id);
    EXPECT_EQ(manager.standInDisplayID(), pixelDisplay);
    EXPECT_TRUE(manager.capture()->onExit);
    EXPECT_TRUE(windows_.activated.empty());
    manager.stop(pixel.id);
    EXPECT_FALSE(manager.capture()->onExit);
    EXPECT_EQ(windows_.activated, std::vector<std::uint32_t>{activeWindow});
}

TEST_F(SeamlessInputManagerTest, StartingTwiceQuicklyMakesOneSession)
{
    SeamlessInputManager &manager = make(&tap_);
    manager.start(pixel, phone(serialA));
    manager.start(pixel, phone(serialA));
    startFully(pixel, serialA);
    ASSERT_TRUE(spinUntil([&] { return !scrcpyRuns().isEmpty(); }));
    spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(monitors_.requests.size(), 1u);
    EXPECT_EQ(scrcpyRuns().size(), 1);
}

TEST_F(SeamlessInputManagerTest, FailedStartsLeaveNothingBehind)
{
    struct Case {
        const char *name;
        bool withTap;
        bool tapStarts;
        bool registersPosition;
        bool withArchive;
        const char *error; // empty: no error expected
        bool needsPermission;
    };
    const Case cases[] = {
        {"no tap", false, true, true, true, "Keyboard & mouse sharing isn't available on this desktop yet.", false},
        {"tap refused", true, false, true, true, "", true},
        {"no position", true, true, false, true,
         "Couldn't start Keyboard & Mouse: The phone's stand-in display never registered its position.", false},
        {"no archive", true, true, true, false, "Couldn't start Keyboard & Mouse: ", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_.clearInvocations();
        tap_.canStart = c.tapStarts;
        monitors_.registersPosition = c.registersPosition;
        if (!c.withArchive)
            QFile::remove(prefix_.filePath(QStringLiteral("share/lumarient/lumarient-input.jar")));
        SeamlessInputManager &manager = make(c.withTap ? &tap_ : nullptr);
        QSignalSpy setupRequests(&manager, &SeamlessInputManager::setupWindowRequested);
        manager.start(pixel, phone(serialA));
        ASSERT_TRUE(spinUntil([&] { return manager.lastError() || manager.needsInputMonitoringPermission(); },
                              std::chrono::seconds(5)));
        spinFor(std::chrono::milliseconds(50));
        if (*c.error != 0) {
            EXPECT_TRUE(manager.lastError().value_or(QString()).startsWith(QString::fromUtf8(c.error)))
                << manager.lastError().value_or(QString()).toStdString();
        } else {
            EXPECT_FALSE(manager.lastError());
        }
        EXPECT_EQ(manager.needsInputMonitoringPermission(), c.needsPermission);
        EXPECT_EQ(setupRequests.size(), c.needsPermission ? 1 : 0);
        EXPECT_TRUE(manager.activeConfigIDs().empty());
        EXPECT_FALSE(standIn());
        EXPECT_FALSE(tap_.started);
        EXPECT_TRUE(scrcpyRuns().isEmpty());
        manager_.reset();
    }
}

TEST_F(SeamlessInputManagerTest, TheChosenSideIsRememberedPerPhoneAndMovesTheRunningStandIn)
{
    SeamlessInputManager &manager = make(&tap_);
    manager.setPlacement(pixel.id, Placement::left);
    startFully(pixel, serialA);
    EXPECT_EQ(standIn(), (DisplayRect{-1920, 0, 1920, 1080}));
    EXPECT_EQ(manager.standInPlacement(), Placement::left);

    manager.setPlacement(pixel.id, Placement::below);
    EXPECT_EQ(standIn(), (DisplayRect{0, 1080, 1920, 1080}));
    EXPECT_EQ(defaults_.string(SeamlessInputManager::placementKey(pixel.id)), QStringLiteral("below"));
    manager.stop(pixel.id);

    // Another phone has no choice of its own yet.
    EXPECT_FALSE(manager.rememberedPlacement(galaxy.id));
    startFully(galaxy, serialB);
    EXPECT_EQ(manager.standInPlacement(), Placement::right);
}

TEST_F(SeamlessInputManagerTest, ASideThatCannotHoldTheStandInLeavesItBesideTheMainDisplayAndSaysWhy)
{
    monitors_.allowsNegativePositions = false;
    SeamlessInputManager &manager = make(&tap_);
    manager.setPlacement(pixel.id, Placement::left);
    startFully(pixel, serialA);
    const QString leftRefused = QStringLiteral(
        "The phone's display can't be placed to the left of your main display: your main display starts at the "
        "top-left corner of the screen, and nothing can lie left of or above it on this desktop. It is to the right "
        "of your main display instead.");
    EXPECT_EQ(standIn(), (DisplayRect{1920, 0, 1920, 1080}));
    EXPECT_EQ(manager.standInPlacement(), Placement::right);
    EXPECT_EQ(manager.lastError(), leftRefused);
    EXPECT_EQ(manager.placementNotice(), leftRefused);
    // The stand-in is still entered where it really is.
    crossRightEdge();
    EXPECT_TRUE(manager.capture()->activeDisplayID());

    manager.setPlacement(pixel.id, Placement::above);
    EXPECT_EQ(standIn(), (DisplayRect{1920, 0, 1920, 1080}));
    EXPECT_TRUE(manager.placementNotice().value_or(QString()).startsWith(
        QStringLiteral("The phone's display can't be placed above your main display:")));
    // A side that works clears the notice; the error stays for the menu.
    manager.setPlacement(pixel.id, Placement::below);
    EXPECT_EQ(standIn(), (DisplayRect{0, 1080, 1920, 1080}));
    EXPECT_FALSE(manager.placementNotice());
    EXPECT_TRUE(manager.lastError());
}

TEST_F(SeamlessInputManagerTest, PointerSpeedIsKeptPerPhoneWithinItsRange)
{
    SeamlessInputManager &manager = make(&tap_);
    const QUuid id = QUuid::createUuid();
    EXPECT_EQ(manager.pointerSpeed(id), 1.0);
    for (const auto &[given, kept] : std::vector<std::pair<double, double>>{{1.5, 1.5}, {100, 4.0}, {0, 0.25}}) {
        manager.setPointerSpeed(id, given);
        EXPECT_EQ(manager.pointerSpeed(id), kept);
    }
    defaults_.setValue(SeamlessInputManager::pointerSpeedKey(id), QStringLiteral("fast"));
    EXPECT_EQ(manager.pointerSpeed(id), 1.0);
}

} // namespace
