#include "DisplayReceiver.h"
#include "display/SecondDisplayManager.h"
#include "display/SecondDisplayPhone.h"
#include "display/VirtualDisplay.h"
#include "platform/UserDefaults.h"
#include "platform/libav/LibavVideoEncoder.h"
#include "platform/portal/PortalPointer.h"
#include "platform/portal/PortalVirtualMonitors.h"
#include "support/EventLoop.h"
#include "support/FakePortal.h"
#include "support/FreePort.h"
#include "support/HeadlessMutter.h"
#include "support/PhoneWorld.h"
#include "tooling/Companion.h"

#include <gtest/gtest.h>

#include <poll.h>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const QString serial = QStringLiteral("R58M123ABC");
const QString tokenKey = QString::fromLatin1(portal::PortalVirtualMonitorFactory::restoreTokenKey);
const QString displayStop =
    QStringLiteral("-s %1 shell am broadcast -n com.corvantil.lumarient.companion/.SessionReceiver -a "
                   "com.corvantil.lumarient.DISPLAY_STOP")
        .arg(serial);

// The second display on a Wayland desktop: headless mutter behind a portal that
// asks no questions, the portal backends, the adb layer against a simulated
// phone and the phone's display receiver over loopback.
class WaylandDisplayTest : public HeadlessMutterSuite, protected PhoneWorld {
protected:
    void SetUp() override
    {
        HeadlessMutterSuite::SetUp();
        if (IsSkipped())
            return;
        phonesim::SimPhone phone = makePhone(serial, QStringLiteral("SM_A146P"));
        phone.screenWidth = 720;
        phone.screenHeight = 1600;
        sim_.addPhone(phone);
        portal_ = std::make_unique<FakePortal>(mutter_->bus().address(), mutter_->runtimeFolder());
        ASSERT_TRUE(portal_->isServing());
        client_ = mutter_->bus().connect(QStringLiteral("lumarient-%1").arg(++clients_));
        monitors_ = std::make_unique<portal::PortalVirtualMonitorFactory>(client_, &defaults_);
        monitors_->setAnswerLimit(scaled(20s));
        captures_ = std::make_unique<portal::PortalScreenCaptureFactory>(*monitors_);
        captures_->setFirstFrameLimit(scaled(10s));

        SecondDisplayManager::Platform platform;
        platform.monitors = monitors_.get();
        platform.streaming.captures = captures_.get();
        platform.streaming.encoders = &encoders_;
        platform.streaming.port = port_;
        portal::PortalVirtualMonitorFactory *monitors = monitors_.get();
        platform.streaming.makePointer = [monitors] {
            return std::make_unique<portal::PortalPointer>(monitors->newestSession());
        };
        manager_ = std::make_unique<SecondDisplayManager>(platform, phone_);
    }

    void TearDown() override
    {
        manager_.reset();
        captures_.reset();
        monitors_.reset();
        portal_.reset();
    }

    void startAndWait()
    {
        bool finished = false;
        auto connection =
            QObject::connect(manager_.get(), &SecondDisplayManager::startFinished, [&] { finished = true; });
        manager_->start(ConnectedDevice{serial, QStringLiteral("SM_A146P"), false, DeviceState::ready});
        EXPECT_TRUE(spinUntil([&] { return finished; }, scaled(60s)));
        QObject::disconnect(connection);
    }

    phoneside::DisplayReceiver::Options receiverOptions() const
    {
        phoneside::DisplayReceiver::Options options;
        options.port = port_;
        return options;
    }

    static inline int clients_ = 0;
    Companion companion_{paths_, adb_};
    AdbSecondDisplayPhone phone_{adb_, companion_};
    libav::LibavVideoEncoderFactory encoders_{false};
    std::unique_ptr<FakePortal> portal_;
    QDBusConnection client_{QString()};
    std::unique_ptr<portal::PortalVirtualMonitorFactory> monitors_;
    std::unique_ptr<portal::PortalScreenCaptureFactory> captures_;
    std::uint16_t port_ = freeLoopbackPort();
    std::unique_ptr<SecondDisplayManager> manager_;
};

} // namespace

TEST_F(WaylandDisplayTest, StreamsTheVirtualMonitorSendsOnlyChangesAndTakesTouches)
{
    startAndWait();
    ASSERT_FALSE(manager_->lastError()) << manager_->lastError()->toStdString();
    ASSERT_EQ(manager_->activeSerial(), serial);
    const int width = manager_->display()->width();
    const int height = manager_->display()->height();

    phoneside::DisplayReceiver receiver(receiverOptions());
    ASSERT_TRUE(receiver.connect());
    ASSERT_TRUE(receiver.waitFor([](const phoneside::ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    EXPECT_EQ(receiver.record().lastPicture.size(), QSize(width, height)) << "the monitor has the size asked for";
    const FakePortal::Record setUp = portal_->record();
    EXPECT_EQ(setUp.selectSourcesOptions.value(QStringLiteral("types")).toUInt(), 4u) << "a virtual monitor";
    EXPECT_TRUE(setUp.compositorErrors.isEmpty()) << setUp.compositorErrors.join(u'\n').toStdString();

    // Nothing moves on the monitor: nothing more is captured.
    spinFor(scaled(600ms));
    const std::uint64_t stillCaptured = manager_->streamer()->statistics().framesCaptured;
    spinFor(scaled(1000ms));
    EXPECT_EQ(manager_->streamer()->statistics().framesCaptured, stillCaptured);

    // A touch moves the compositor's pointer onto the monitor; the cursor drawn
    // there is a change, which reaches the phone.
    const int decoded = receiver.record().decodedFrames;
    receiver.touch(0, 0.5f, 0.5f);
    receiver.touch(2, 0.6f, 0.5f);
    receiver.touch(1, 0.6f, 0.5f);
    EXPECT_TRUE(spinUntil([&] { return portal_->record().pointerEventsForwarded >= 5; }));
    EXPECT_TRUE(portal_->record().compositorErrors.isEmpty())
        << portal_->record().compositorErrors.join(u'\n').toStdString();
    EXPECT_TRUE(receiver.waitFor([&](const phoneside::ReceiverRecord &r) { return r.decodedFrames > decoded; }));

    manager_->stop();
    EXPECT_TRUE(spinUntil([&] { return portal_->record().sessionsClosed == 1; })) << "the monitor goes with it";
}

TEST_F(WaylandDisplayTest, KeepsThePermissionForTheNextStart)
{
    defaults_.remove(tokenKey);
    startAndWait();
    ASSERT_FALSE(manager_->lastError());
    EXPECT_FALSE(portal_->record().selectDevicesOptions.contains(QStringLiteral("restore_token")));
    EXPECT_EQ(portal_->record().selectDevicesOptions.value(QStringLiteral("persist_mode")).toUInt(), 2u);
    EXPECT_EQ(defaults_.string(tokenKey), QStringLiteral("restore-1"));
    manager_->stop();

    startAndWait();
    ASSERT_FALSE(manager_->lastError());
    EXPECT_EQ(portal_->record().selectDevicesOptions.value(QStringLiteral("restore_token")).toString(),
              QStringLiteral("restore-1"));
    EXPECT_EQ(defaults_.string(tokenKey), QStringLiteral("restore-2")) << "each token is used once";
    manager_->stop();
}

TEST_F(WaylandDisplayTest, ARefusedSessionIsReportedAndLeavesNothingBehind)
{
    struct Case {
        std::uint32_t response;
        const char *error;
    };
    const Case cases[] = {
        {1, "Screen sharing for the second display was declined."},
        {2, "This desktop refused to create the second display."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.response);
        portal_->clearRecord();
        portal_->setSelectSourcesResponse(c.response);
        startAndWait();
        ASSERT_TRUE(manager_->lastError());
        EXPECT_EQ(*manager_->lastError(), QString::fromLatin1(c.error));
        EXPECT_FALSE(manager_->activeSerial());
        EXPECT_FALSE(manager_->display());
        EXPECT_TRUE(spinUntil([&] { return portal_->record().sessionsClosed == 1; })) << "the half-made session goes";
    }
    portal_->setSelectSourcesResponse(0);
}

TEST_F(WaylandDisplayTest, WorksAsAPlainScreenCastWhereThereIsNoRemoteDesktop)
{
    portal_->setRemoteDesktopMissing(true);
    defaults_.setValue(tokenKey, QStringLiteral("restore-earlier"));
    startAndWait();
    ASSERT_FALSE(manager_->lastError());
    const FakePortal::Record record = portal_->record();
    EXPECT_FALSE(record.calls.contains(QStringLiteral("RemoteDesktop.Start")));
    EXPECT_EQ(record.selectSourcesOptions.value(QStringLiteral("restore_token")).toString(),
              QStringLiteral("restore-earlier"));
    phoneside::DisplayReceiver receiver(receiverOptions());
    ASSERT_TRUE(receiver.connect());
    EXPECT_TRUE(receiver.waitFor([](const phoneside::ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    manager_->stop();
    portal_->setRemoteDesktopMissing(false);
}

TEST_F(WaylandDisplayTest, TheReaderRestsWhileStillAndAfterTheDesktopEndsTheStream)
{
    std::shared_ptr<VirtualDisplay> display = VirtualDisplay::create(*monitors_, "Lumarient Display", 640, 480, 60);
    ASSERT_TRUE(display);
    std::unique_ptr<ScreenCapture> capture = captures_->open(display->displayID());
    ASSERT_TRUE(capture);
    const CapturedFrame *frame = capture->grab();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(QSize(frame->width, frame->height), QSize(640, 480));

    // While nothing changes the reader's loop sleeps (a stray message aside).
    pollfd still{capture->pollDescriptor(), POLLIN, 0};
    int wakes = 0;
    for (const auto end = std::chrono::steady_clock::now() + 1s; std::chrono::steady_clock::now() < end;) {
        wakes += ::poll(&still, 1, 100) > 0 ? 1 : 0;
        capture->contentChanged();
    }
    EXPECT_LE(wakes, 2);

    // The user stops the sharing from the desktop: the stream goes away under the
    // reader, which must neither crash nor keep its loop awake.
    portal_->endSessions();
    pollfd descriptor{capture->pollDescriptor(), POLLIN, 0};
    for (int turn = 0; turn < 20; ++turn) {
        ::poll(&descriptor, 1, 50);
        capture->contentChanged();
    }
    EXPECT_EQ(::poll(&descriptor, 1, 200), 0) << "the descriptor stays readable: a busy loop";
    capture->grab();
}

TEST_F(WaylandDisplayTest, StoppingTheSharingFromTheDesktopTurnsTheFeatureOffWithoutAnError)
{
    startAndWait();
    ASSERT_EQ(manager_->activeSerial(), serial);
    phoneside::DisplayReceiver receiver(receiverOptions());
    ASSERT_TRUE(receiver.connect());
    ASSERT_TRUE(receiver.waitFor([](const phoneside::ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    int changes = 0;
    QObject::connect(manager_.get(), &SecondDisplayManager::changed, [&] { ++changes; });

    portal_->endSessions();
    ASSERT_TRUE(spinUntil([&] { return !manager_->activeSerial(); }));
    EXPECT_FALSE(manager_->lastError()) << "the user ended it: nothing failed";
    EXPECT_FALSE(manager_->display());
    EXPECT_FALSE(manager_->streamer());
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(spinUntil([&] { return sim_.adbCommands().contains(displayStop); })) << "the phone is told";
    EXPECT_TRUE(receiver.waitFor([](const phoneside::ReceiverRecord &r) { return r.closedByComputer; }));

    // The feature starts again from the menu.
    startAndWait();
    EXPECT_EQ(manager_->activeSerial(), serial);
    manager_->stop();
}

TEST_F(WaylandDisplayTest, APermissionDialogLeftOpenIsTakenDownByStopOrQuit)
{
    portal_->setStartHeld(true);
    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit" : "stop");
        portal_->clearRecord();
        manager_->start(ConnectedDevice{serial, QStringLiteral("SM_A146P"), false, DeviceState::ready});
        ASSERT_TRUE(spinUntil([&] { return portal_->record().calls.contains(QStringLiteral("RemoteDesktop.Start")); }));
        EXPECT_TRUE(manager_->isStarting());
        if (quit) {
            manager_.reset();
        } else {
            manager_->stop();
        }
        EXPECT_TRUE(spinUntil([&] { return portal_->record().requestsClosed == 1; })) << "the dialog goes";
        EXPECT_TRUE(spinUntil([&] { return portal_->record().sessionsClosed == 1; })) << "and the session with it";
        if (!quit) {
            EXPECT_FALSE(manager_->isStarting());
            EXPECT_FALSE(manager_->activeSerial());
            EXPECT_FALSE(manager_->lastError());
        }
    }
    portal_->setStartHeld(false);
}
