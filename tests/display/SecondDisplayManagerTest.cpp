#include "display/SecondDisplayManager.h"
#include "DisplayReceiver.h"
#include "display/SecondDisplayPhone.h"
#include "display/VirtualDisplay.h"
#include "platform/libav/LibavVideoEncoder.h"
#include "platform/x11/X11Pointer.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11VirtualMonitors.h"
#include "support/EventLoop.h"
#include "support/FreePort.h"
#include "support/PhoneWorld.h"
#include "support/XorgServer.h"
#include "tooling/Companion.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const QString serial = QStringLiteral("R58M123ABC");
const QString otherSerial = QStringLiteral("9A221FFAZ");

// A window system without virtual displays.
class NoVirtualDisplays final : public VirtualMonitorFactory {
public:
    bool isAvailable() override { return false; }
    std::unique_ptr<VirtualMonitor> create(const VirtualMonitorRequest &) override { return nullptr; }
};

// Holds every create until the test opens the gate, as a desktop's permission
// dialog does, then makes the display on the real window system. A cancelled
// attempt ends the wait with nothing, unless the factory is one that finishes
// what it began whatever happens.
class GatedMonitors final : public VirtualMonitorFactory {
public:
    GatedMonitors(VirtualMonitorFactory &real, bool honoursCancel) : real_(real), honoursCancel_(honoursCancel) {}

    bool isAvailable() override { return real_.isAvailable(); }

    std::unique_ptr<VirtualMonitor> create(const VirtualMonitorRequest &request) override
    {
        // Registered outside the gate's lock: the wake-up takes that lock.
        Cancellation::Hook hook;
        if (request.attempt && honoursCancel_) {
            hook = request.attempt->onCancel([this] {
                std::lock_guard lock(mutex_);
                ++cancelsSeen_;
                moved_.notify_all();
            });
        }
        bool cancelled = false;
        {
            std::unique_lock lock(mutex_);
            ++entered_;
            moved_.wait(lock, [&] { return open_ || cancelsSeen_ > 0; });
            cancelled = !open_;
        }
        hook = Cancellation::Hook();
        if (cancelled) {
            return nullptr;
        }
        std::unique_ptr<VirtualMonitor> made = real_.create(request);
        return made ? std::make_unique<Counted>(std::move(made), gone_) : nullptr;
    }

    void open()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        moved_.notify_all();
    }
    int entered()
    {
        std::lock_guard lock(mutex_);
        return entered_;
    }
    int cancelsSeen()
    {
        std::lock_guard lock(mutex_);
        return cancelsSeen_;
    }
    // Displays made here and removed again.
    int gone() const { return gone_; }

private:
    class Counted final : public VirtualMonitor {
    public:
        Counted(std::unique_ptr<VirtualMonitor> real, std::atomic<int> &gone) : real_(std::move(real)), gone_(gone) {}
        ~Counted() override
        {
            real_.reset();
            ++gone_;
        }
        std::uint32_t displayID() const override { return real_->displayID(); }
        void placeAdjacentToOtherDisplays() override { real_->placeAdjacentToOtherDisplays(); }

    private:
        std::unique_ptr<VirtualMonitor> real_;
        std::atomic<int> &gone_;
    };

    VirtualMonitorFactory &real_;
    const bool honoursCancel_;
    std::mutex mutex_;
    std::condition_variable moved_;
    bool open_ = false;
    int entered_ = 0;
    int cancelsSeen_ = 0;
    std::atomic<int> gone_{0};
};

// The manager with real parts: Xorg-dummy, the X11 backends, the adb layer against
// simulated phones, and the phone's display receiver over loopback.
class SecondDisplayManagerTest : public XorgSuite, protected PhoneWorld {
protected:
    void SetUp() override
    {
        XorgSuite::SetUp();
        if (IsSkipped())
            return;
        phonesim::SimPhone phone = makePhone(serial, QStringLiteral("SM_S918B"));
        phone.screenWidth = 1440;
        phone.screenHeight = 3200;
        sim_.addPhone(phone);
        sim_.addPhone(makePhone(otherSerial, QStringLiteral("Pixel_8")));
        monitors_ = std::make_unique<x11::X11VirtualMonitorFactory>(&defaults_, server_->displayName());
        manager_ = makeManager(monitors_.get());
    }

    std::unique_ptr<SecondDisplayManager> makeManager(VirtualMonitorFactory *monitors)
    {
        SecondDisplayManager::Platform platform;
        platform.monitors = monitors;
        platform.streaming.captures = &captures_;
        const char *name = server_->displayName();
        platform.streaming.makePointer = [name] { return std::make_unique<x11::X11Pointer>(name); };
        platform.streaming.encoders = &encoders_;
        platform.streaming.port = port_;
        return std::make_unique<SecondDisplayManager>(platform, phone_);
    }

    void startAndWait(const QString &which, bool overWifi = false)
    {
        bool finished = false;
        auto connection =
            QObject::connect(manager_.get(), &SecondDisplayManager::startFinished, [&] { finished = true; });
        manager_->start(ConnectedDevice{which, QStringLiteral("model"), overWifi, DeviceState::ready});
        EXPECT_TRUE(spinUntil([&] { return finished; }));
        QObject::disconnect(connection);
    }

    bool adbRan(const QString &command) { return sim_.adbCommands().contains(command); }

    Companion companion_{paths_, adb_};
    AdbSecondDisplayPhone phone_{adb_, companion_};
    x11::X11ScreenCaptureFactory captures_{server_->displayName()};
    libav::LibavVideoEncoderFactory encoders_{false};
    std::unique_ptr<x11::X11VirtualMonitorFactory> monitors_;
    std::uint16_t port_ = freeLoopbackPort();
    std::unique_ptr<SecondDisplayManager> manager_;
};

const QString displayStop =
    QStringLiteral("-s %1 shell am broadcast -n com.corvantil.lumarient.companion/.SessionReceiver -a "
                   "com.corvantil.lumarient.DISPLAY_STOP");

} // namespace

TEST_F(SecondDisplayManagerTest, StartsTheDisplayAndThePhoneReceiverThenStopsCleanly)
{
    int changes = 0;
    QObject::connect(manager_.get(), &SecondDisplayManager::changed, [&] { ++changes; });
    startAndWait(serial);
    ASSERT_EQ(manager_->activeSerial(), serial);
    EXPECT_FALSE(manager_->lastError());
    ASSERT_TRUE(manager_->display());
    EXPECT_EQ(manager_->display()->width(), 2560);
    EXPECT_EQ(manager_->display()->height(), 1152);
    EXPECT_EQ(server_->monitorNames().size(), 2);

    const QStringList commands = sim_.adbCommands();
    const qsizetype reverse = commands.indexOf(QStringLiteral("-s %1 reverse tcp:38018 tcp:38018").arg(serial));
    const qsizetype launch = commands.indexOf(
        QStringLiteral(
            "-s %1 shell am start -n com.corvantil.lumarient.companion/.DisplayActivity --ei w 2560 --ei h 1152")
            .arg(serial));
    ASSERT_GE(reverse, 0);
    EXPECT_GT(launch, reverse) << "the port is reversed before the receiver opens";

    // The phone's receiver finds the computer listening and capturing.
    phoneside::DisplayReceiver::Options options;
    options.port = port_;
    phoneside::DisplayReceiver receiver(options);
    ASSERT_TRUE(receiver.connect());
    ASSERT_TRUE(receiver.waitFor([](const phoneside::ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    EXPECT_EQ(receiver.record().lastPicture.size(), QSize(2560, 1152));

    // A second phone is turned away without a word.
    sim_.clearInvocations();
    manager_->start(ConnectedDevice{otherSerial, QStringLiteral("Pixel_8"), false, DeviceState::ready});
    spinFor(200ms);
    EXPECT_EQ(manager_->activeSerial(), serial);
    EXPECT_FALSE(manager_->lastError());
    EXPECT_TRUE(sim_.adbCommands().isEmpty());

    manager_->stop();
    EXPECT_FALSE(manager_->activeSerial());
    EXPECT_FALSE(manager_->display());
    EXPECT_FALSE(manager_->streamer());
    EXPECT_EQ(server_->monitorNames(), QStringList{QStringLiteral("DUMMY0")}) << "no ghost monitor";
    EXPECT_TRUE(spinUntil([&] { return adbRan(displayStop.arg(serial)); }));
    EXPECT_TRUE(receiver.waitFor([](const phoneside::ReceiverRecord &r) { return r.closedByComputer; }));
    EXPECT_EQ(changes, 2);

    // Stopping when off sends nothing.
    sim_.clearInvocations();
    manager_->stop();
    spinFor(200ms);
    EXPECT_TRUE(sim_.adbCommands().isEmpty());
    EXPECT_EQ(changes, 2);
}

TEST_F(SecondDisplayManagerTest, ABusyPortIsReportedAndEverythingIsUndone)
{
    const int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    // Earlier tests' connections may still linger on the port.
    ::setsockopt(blocker, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(blocker, 1), 0);

    startAndWait(serial);
    ::close(blocker);
    ASSERT_TRUE(manager_->lastError());
    EXPECT_TRUE(manager_->lastError()->startsWith(QStringLiteral("Couldn't start the display stream: ")));
    EXPECT_FALSE(manager_->activeSerial());
    EXPECT_FALSE(manager_->display());
    EXPECT_EQ(server_->monitorNames(), QStringList{QStringLiteral("DUMMY0")});
    EXPECT_TRUE(spinUntil([&] { return adbRan(displayStop.arg(serial)); }));
    EXPECT_FALSE(adbRan(QStringLiteral("-s %1 reverse tcp:38018 tcp:38018").arg(serial)));

    // Trying again clears the old message until the new attempt has its answer.
    manager_->start(ConnectedDevice{serial, QStringLiteral("M"), false, DeviceState::ready});
    EXPECT_FALSE(manager_->lastError());
}

TEST_F(SecondDisplayManagerTest, WithoutVirtualDisplaysTheFeatureStaysOffWithAMessage)
{
    NoVirtualDisplays none;
    manager_ = makeManager(&none);
    startAndWait(serial);
    EXPECT_EQ(manager_->lastError(), QStringLiteral("Second-display support isn't available on this desktop."));
    EXPECT_FALSE(manager_->activeSerial());
    EXPECT_FALSE(manager_->display());
    EXPECT_FALSE(adbRan(QStringLiteral("-s %1 reverse tcp:38018 tcp:38018").arg(serial)));
}

TEST_F(SecondDisplayManagerTest, AStartWaitingForTheDesktopKeepsTheAppRunningAndAStopRemovesWhatComesLate)
{
    // A window system that finishes the display although the start was stopped.
    GatedMonitors gated(*monitors_, false);
    manager_ = makeManager(&gated);
    int changes = 0;
    int finishes = 0;
    QObject::connect(manager_.get(), &SecondDisplayManager::changed, [&] { ++changes; });
    QObject::connect(manager_.get(), &SecondDisplayManager::startFinished, [&] { ++finishes; });

    manager_->start(ConnectedDevice{serial, QStringLiteral("SM_S918B"), false, DeviceState::ready});
    // The event loop runs on while the display is being made.
    ASSERT_TRUE(spinUntil([&] { return gated.entered() == 1; }));
    EXPECT_TRUE(manager_->isStarting());
    EXPECT_FALSE(manager_->activeSerial());
    manager_->start(ConnectedDevice{otherSerial, QStringLiteral("Pixel_8"), false, DeviceState::ready});

    manager_->stop();
    EXPECT_FALSE(manager_->isStarting());
    gated.open();
    ASSERT_TRUE(spinUntil([&] { return gated.gone() == 1; })) << "the late display is removed at once";
    EXPECT_EQ(server_->monitorNames(), QStringList{QStringLiteral("DUMMY0")});
    EXPECT_FALSE(manager_->activeSerial());
    EXPECT_FALSE(manager_->display());
    EXPECT_FALSE(manager_->lastError());
    EXPECT_EQ(changes, 0) << "nothing of the stopped start is published";
    EXPECT_FALSE(adbRan(QStringLiteral("-s %1 reverse tcp:38018 tcp:38018").arg(serial)));
    for (const QString &command : sim_.adbCommands()) {
        EXPECT_FALSE(command.contains(otherSerial)) << "the second phone was turned away: " << command.toStdString();
    }

    // The next start goes through, with the port the stopped one never kept.
    startAndWait(serial);
    EXPECT_EQ(manager_->activeSerial(), serial);
    EXPECT_FALSE(manager_->lastError());
    EXPECT_EQ(finishes, 1);
    phoneside::DisplayReceiver::Options options;
    options.port = port_;
    phoneside::DisplayReceiver receiver(options);
    ASSERT_TRUE(receiver.connect());
    EXPECT_TRUE(receiver.waitFor([](const phoneside::ReceiverRecord &r) { return r.decodedFrames >= 1; }));
    manager_->stop();
}

TEST_F(SecondDisplayManagerTest, StopOrQuitWhileTheDesktopAsksEndsTheWaitAndShowsNoError)
{
    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit" : "stop");
        GatedMonitors gated(*monitors_, true);
        manager_ = makeManager(&gated);
        manager_->start(ConnectedDevice{serial, QStringLiteral("SM_S918B"), false, DeviceState::ready});
        ASSERT_TRUE(spinUntil([&] { return gated.entered() == 1; }));
        if (quit) {
            // Returns although the gate never opens: the wait was called off.
            manager_.reset();
        } else {
            manager_->stop();
            EXPECT_FALSE(manager_->isStarting());
            ASSERT_TRUE(spinUntil([&] { return gated.cancelsSeen() == 1; }));
            // The called-off create's empty answer never reaches the user, not
            // even as the failure of the start that follows it.
            gated.open();
            startAndWait(serial);
            EXPECT_FALSE(manager_->lastError());
            EXPECT_EQ(manager_->activeSerial(), serial);
            manager_->stop();
            manager_.reset();
        }
        EXPECT_EQ(gated.cancelsSeen(), 1);
        EXPECT_EQ(server_->monitorNames(), QStringList{QStringLiteral("DUMMY0")});
    }
}
