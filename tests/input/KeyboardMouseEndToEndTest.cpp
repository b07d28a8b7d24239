// Keyboard and mouse sharing through the real X11 path: Xorg with the dummy
// driver, openbox, the X11 tap, monitors and window list, the manager, and a
// simulated phone whose input server logs every record it reads.

#include "devices/ScrcpySupervisor.h"
#include "input/SeamlessCapture.h"
#include "input/SeamlessInputManager.h"
#include "platform/Sleeper.h"
#include "platform/UserDefaults.h"
#include "platform/x11/X11DisplayLayout.h"
#include "platform/x11/X11InputTap.h"
#include "platform/x11/X11VirtualMonitors.h"
#include "platform/x11/X11WindowList.h"
#include "support/Devices.h"
#include "support/EventLoop.h"
#include "support/OpenboxSession.h"
#include "support/PhoneProgramStart.h"
#include "support/PhoneWorld.h"
#include "support/XTestClient.h"
#include "support/XorgServer.h"
#include "tooling/ADB.h"
#include "tooling/ToolPaths.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <linux/input-event-codes.h>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const QString serial = QStringLiteral("R58M123ABC");

constexpr std::uint8_t xKey(int evdevCode)
{
    return std::uint8_t(evdevCode + 8);
}

struct KeyRecord {
    int modifiers = 0;
    std::vector<int> keys;
    bool operator==(const KeyRecord &) const = default;
};

std::ostream &operator<<(std::ostream &out, const KeyRecord &record)
{
    out << "{" << record.modifiers << ":";
    for (int key : record.keys)
        out << " " << key;
    return out << "}";
}

// One X server with openbox for the suite; per test a phone on the simulator,
// the X11 backends and a running "Keyboard & Mouse" session whose stand-in sits
// right of the 1920 x 1080 main display. The phone's screen has the stand-in's
// size, so movement maps one to one.
class KeyboardMouseEndToEnd : public XorgSuite, protected PhoneWorld {
protected:
    static void SetUpTestSuite()
    {
        XorgSuite::SetUpTestSuite();
        if (server_->isRunning()) {
            openbox_ = new OpenboxSession(server_->displayName());
            openboxStarted_ = openbox_->start();
        }
    }
    static void TearDownTestSuite()
    {
        delete openbox_;
        openbox_ = nullptr;
        XorgSuite::TearDownTestSuite();
    }

    void SetUp() override
    {
        if (!server_->isRunning())
            GTEST_SKIP() << server_->problem().toStdString();
        ASSERT_TRUE(openboxStarted_) << openbox_->problem().toStdString();
        phonesim::SimPhone simulated = makePhone(serial, QStringLiteral("Pixel"));
        simulated.screenWidth = 1920;
        simulated.screenHeight = 1080;
        sim_.addPhone(simulated);
        ASSERT_TRUE(writeInputArchive(prefix_.filePath(QStringLiteral("share/lumarient/lumarient-input.jar"))));

        const char *display = server_->displayName();
        monitors_ = std::make_unique<x11::X11VirtualMonitorFactory>(nullptr, display);
        layout_ = std::make_unique<x11::X11DisplayLayout>(display);
        tap_ = std::make_unique<x11::X11InputTap>(display);
        windows_ = std::make_unique<x11::X11WindowList>(display);
        user_ = std::make_unique<XTestClient>(display);
        SeamlessInputManager::Platform platform{monitors_.get(), layout_.get(), tap_.get(), windows_.get(), &scrcpy_};
        manager_ = std::make_unique<SeamlessInputManager>(
            platform, SeamlessInputManager::Dependencies{paths_, adb_, defaults_, sourceTree_.path()});

        manager_->start(makeConfig(QStringLiteral("Pixel")), phone(serial));
        ASSERT_TRUE(spinUntil([&] { return manager_->capture() != nullptr && tap_->barrierCount() > 0; }))
            << manager_->lastError().value_or(QString()).toStdString();
        const std::optional<std::uint32_t> standIn = manager_->standInDisplayID();
        ASSERT_TRUE(standIn);
        ASSERT_EQ(layout_->displayBounds(*standIn), (DisplayRect{1920, 0, 1920, 1080}));
    }

    void TearDown() override
    {
        if (user_)
            user_->ungrab();
        manager_.reset();
        windows_.reset();
        tap_.reset();
        layout_.reset();
        monitors_.reset();
        user_.reset();
    }

    bool captured() const { return manager_->capture()->activeDisplayID().has_value(); }

    // Pushes the pointer from near the main display's right side against it,
    // as a mouse does, for at most `steps` moves or until the phone is driven.
    void pushRight(int steps = 20)
    {
        user_->warp(1900, 540);
        for (int step = 0; step < steps && !captured(); ++step) {
            user_->move(10, 0);
            spinFor(10ms);
        }
    }

    std::vector<phonesim::SimInputRecord> records(const std::string &kind) const
    {
        std::vector<phonesim::SimInputRecord> found;
        for (const phonesim::SimInputRecord &record : sim_.inputRecords()) {
            if (record.kind == kind)
                found.push_back(record);
        }
        return found;
    }

    std::vector<KeyRecord> keyRecords() const
    {
        std::vector<KeyRecord> found;
        for (const phonesim::SimInputRecord &record : records("keyboard")) {
            KeyRecord key{record.modifiers, {}};
            for (int usage : record.keys) {
                if (usage != 0)
                    key.keys.push_back(usage);
            }
            found.push_back(key);
        }
        return found;
    }

    int movedX() const
    {
        int sum = 0;
        for (const phonesim::SimInputRecord &record : records("mouse"))
            sum += record.dx;
        return sum;
    }

    // The movement sent so far, once the pending movement has gone out (the
    // push that entered may itself have moved the phone's cursor).
    int settledMovedX()
    {
        spinFor(60ms);
        return movedX();
    }

    static OpenboxSession *openbox_;
    static bool openboxStarted_;
    QTemporaryDir sourceTree_;
    ScrcpySupervisor scrcpy_{paths_};
    std::unique_ptr<x11::X11VirtualMonitorFactory> monitors_;
    std::unique_ptr<x11::X11DisplayLayout> layout_;
    std::unique_ptr<x11::X11InputTap> tap_;
    std::unique_ptr<x11::X11WindowList> windows_;
    std::unique_ptr<XTestClient> user_;
    std::unique_ptr<SeamlessInputManager> manager_;
};

OpenboxSession *KeyboardMouseEndToEnd::openbox_ = nullptr;
bool KeyboardMouseEndToEnd::openboxStarted_ = false;

TEST_F(KeyboardMouseEndToEnd, APushCrossesOntoThePhoneWhichGetsMotionAndKeysUntilControlEscape)
{
    pushRight();
    ASSERT_TRUE(captured());
    EXPECT_EQ(user_->grabPointer(), XCB_GRAB_STATUS_ALREADY_GRABBED);

    const int entered = settledMovedX();
    for (int i = 0; i < 10; ++i)
        user_->move(30, 5);
    ASSERT_TRUE(spinUntil([&] { return movedX() == entered + 300; }, 5s)) << movedX() - entered;

    user_->press(xKey(KEY_LEFTSHIFT));
    user_->press(xKey(KEY_A));
    user_->releaseKey(xKey(KEY_A));
    user_->releaseKey(xKey(KEY_LEFTSHIFT));
    const std::vector<KeyRecord> typed{{0x02, {}}, {0x02, {0x04}}, {0x02, {}}, {0, {}}};
    ASSERT_TRUE(spinUntil([&] { return keyRecords().size() >= typed.size(); }, 5s));
    EXPECT_EQ(keyRecords(), typed);

    // Control+Escape gives the desktop back its pointer and keyboard.
    user_->press(xKey(KEY_LEFTCTRL));
    user_->press(xKey(KEY_ESC));
    ASSERT_TRUE(spinUntil([&] { return !captured(); }, 5s));
    user_->releaseKey(xKey(KEY_ESC));
    user_->releaseKey(xKey(KEY_LEFTCTRL));
    EXPECT_EQ(user_->grabPointer(), XCB_GRAB_STATUS_SUCCESS);
    EXPECT_EQ(user_->grabKeyboard(), XCB_GRAB_STATUS_SUCCESS);
    user_->ungrab();
    ASSERT_TRUE(user_->pointer());
    EXPECT_LT(user_->pointer()->x, 1920);
}

} // namespace
