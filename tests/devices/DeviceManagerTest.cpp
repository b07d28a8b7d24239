#include "ManagerHarness.h"
#include "support/Devices.h"

#include <QSignalSpy>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;
using phonesim::SimPhone;
using phonesim::SimRule;

namespace {

const QString usbSerial = QStringLiteral("R58M123ABC");
const QString model = QStringLiteral("SM_S918B");

SimPhone namedPhone(const QString &serial, const QString &phoneModel, const QString &marketName)
{
    SimPhone phone = makePhone(serial, phoneModel);
    phone.props["ro.product.marketname"] = marketName.toStdString();
    return phone;
}

class DeviceManagerTest : public ManagerHarness {};

} // namespace

TEST_F(DeviceManagerTest, AdoptsOneConfigurationPerNewReadyModel)
{
    SimPhone first = namedPhone(QStringLiteral("AAA111"), model, QStringLiteral("Galaxy S23 Ultra"));
    first.props["ro.build.version.release"] = "17";
    sim_.addPhone(first);
    sim_.addPhone(namedPhone(QStringLiteral("BBB222"), model, QStringLiteral("Second of a kind")));
    SimPhone unauthorized = makePhone(QStringLiteral("CCC333"), QStringLiteral("Pixel_8"));
    unauthorized.state = "unauthorized";
    sim_.addPhone(unauthorized);
    sim_.addPhone(makePhone(QStringLiteral("DDD444"), QString()));

    DeviceManager &manager = startManager();
    ASSERT_EQ(manager.devices().size(), 4);
    ASSERT_EQ(manager.configs().size(), 1);
    const DeviceConfig config = manager.configs().first();
    EXPECT_EQ(config.name, QStringLiteral("Galaxy S23 Ultra"));
    EXPECT_EQ(config.modelPattern, model);
    EXPECT_EQ(config.wifiPort, 5555);
    EXPECT_EQ(config.resolution, QStringLiteral("2560x1600/240"));
    EXPECT_TRUE(config.supportsVirtualDisplay);
    EXPECT_TRUE(config.virtualDisplayHasWindowManagement);
    EXPECT_EQ(count(QStringLiteral("ro.build.version.release")), 1);
    EXPECT_EQ(DeviceConfig::load(defaults_), manager.configs());

    EXPECT_EQ(manager.readyDevices().size(), 3);
    ASSERT_EQ(manager.pendingDevices().size(), 1);
    EXPECT_EQ(manager.pendingDevices()[0].serial, QStringLiteral("CCC333"));
    EXPECT_EQ(manager.displayName(manager.devices()[1]), QStringLiteral("Galaxy S23 Ultra"));
    EXPECT_EQ(manager.displayName(
                  ConnectedDevice{QStringLiteral("x"), QStringLiteral("Pixel_8_Pro"), false, DeviceState::ready}),
              QStringLiteral("Pixel 8 Pro"));

    // Later refreshes find nothing new and probe nothing again.
    refreshNow();
    EXPECT_EQ(manager.configs().size(), 1);
    EXPECT_EQ(count(QStringLiteral("ro.build.version.release")), 1);
}

TEST_F(DeviceManagerTest, PortsGrowPastTheLargestAndGapsAreNotReused)
{
    DeviceConfig::save(defaults_, {makeConfig(QStringLiteral("Low"), QStringLiteral("LOW"), 5555),
                                   makeConfig(QStringLiteral("High"), QStringLiteral("HIGH"), 5557)});
    sim_.addPhone(makePhone(usbSerial, model));
    DeviceManager &manager = startManager();
    ASSERT_EQ(manager.configs().size(), 3);
    EXPECT_EQ(manager.configs()[2].wifiPort, 5558);
    stopManager();

    DeviceConfig::save(defaults_, {makeConfig(QStringLiteral("Low"), QStringLiteral("LOW"))});
    startManager();
    ASSERT_EQ(manager_->configs().size(), 2);
    EXPECT_EQ(manager_->configs()[1].wifiPort, 5555);
}

TEST_F(DeviceManagerTest, RemovedConfigurationReturnsOnlyFiveSecondsLater)
{
    sim_.addPhone(makePhone(usbSerial, model));
    sim_.addPhone(makePhone(QStringLiteral("OTHER1"), QStringLiteral("Pixel_8")));
    const QString endpoint = connectOverWifi(usbSerial);
    DeviceManager &manager = startManager();
    ASSERT_EQ(manager.configs().size(), 2);
    const DeviceConfig removed = configFor(model);
    EXPECT_EQ(removed.wifiPort, 5555);

    QSignalSpy configsChanged(&manager, &DeviceManager::configsChanged);
    manager.removeConfig(removed.id);
    EXPECT_EQ(manager.configs().size(), 1);
    EXPECT_EQ(configsChanged.count(), 1);
    EXPECT_EQ(DeviceConfig::load(defaults_), manager.configs());
    ASSERT_TRUE(spinUntil([&] { return count(QStringLiteral("disconnect ") + endpoint) == 1; }));
    EXPECT_EQ(count(QStringLiteral("disconnect ") + usbSerial), 0);

    refreshNow();
    clock_.advance(4900ms);
    refreshNow();
    EXPECT_EQ(manager.configs().size(), 1);

    // Back with a new id and the next port; the gap at 5555 stays.
    clock_.advance(200ms);
    refreshNow();
    ASSERT_EQ(manager.configs().size(), 2);
    EXPECT_NE(configFor(model).id, removed.id);
    EXPECT_EQ(configFor(model).wifiPort, 5557);

    manager.removeConfig(QUuid::createUuid());
    EXPECT_EQ(manager.configs().size(), 2);
}

TEST_F(DeviceManagerTest, CablePreferredAndWifiFoundForTheSamePhone)
{
    sim_.addPhone(makePhone(usbSerial, model));
    const QString endpoint = connectOverWifi(usbSerial);
    // adb lists network connections after cables; put the Wi-Fi one first to
    // show the choice is by kind, not order.
    sim_.addRule({"adb", "*", "devices -l",
                  QStringLiteral("List of devices attached\n%1 device product:p model:%2 device:d transport_id:2\n"
                                 "%3 device usb:1-1 product:p model:%2 device:d transport_id:1\n\n")
                      .arg(endpoint, model, usbSerial)
                      .toStdString(),
                  0, -1, 0});
    DeviceManager &manager = startManager();
    const DeviceConfig config = configFor(model);
    ASSERT_TRUE(manager.connectedDevice(config));
    EXPECT_EQ(manager.connectedDevice(config)->serial, usbSerial);
    ASSERT_TRUE(manager.wifiDevice(config));
    EXPECT_EQ(manager.wifiDevice(config)->serial, endpoint);

    DeviceConfig other = config;
    other.modelPattern = QStringLiteral("SM S918B");
    EXPECT_FALSE(manager.connectedDevice(other));
}

TEST_F(DeviceManagerTest, FailedHungOrGarbledListingsLeaveTheManagerRunning)
{
    sim_.addPhone(makePhone(usbSerial, model));
    DeviceManager &manager = startManager();
    ASSERT_EQ(manager.devices().size(), 1);

    sim_.addRule(
        {"adb", "*", "devices", "error: protocol fault (couldn't read status): Connection reset by peer\n", 1, 1, 0});
    refreshNow();
    EXPECT_TRUE(manager.devices().isEmpty());

    sim_.addRule({"adb", "*", "devices", "\x01\x02garbage\tdevice model:\n:::\n", 0, 1, 0});
    refreshNow();
    refreshNow();
    ASSERT_EQ(manager.devices().size(), 1);
    EXPECT_EQ(manager.configs().size(), 1);

    // A listing that takes a while: ticks meanwhile are dropped, not queued.
    sim_.addRule({"adb", "*", "devices", "", 0, 1, 1500});
    sim_.clearInvocations();
    manager.refresh();
    for (int tick = 0; tick < 5; ++tick) {
        spinFor(100ms);
        manager.refresh();
    }
    ASSERT_TRUE(spinUntil([&] { return !manager.isRefreshing(); }));
    spinFor(200ms);
    EXPECT_EQ(count(QStringLiteral("devices -l")), 1);
    EXPECT_TRUE(manager.devices().isEmpty());
}

TEST_F(DeviceManagerTest, CompanionCheckedOncePerSerialTransferReversedEveryRefresh)
{
    writeCompanionApk();
    sim_.addPhone(makePhone(usbSerial, model));
    startManager();
    for (int refreshes = 1; refreshes <= 3; ++refreshes) {
        ASSERT_TRUE(spinUntil([&] { return count(QStringLiteral("reverse tcp:38017 tcp:38017")) == refreshes; }));
        // The reversal's answer has to come back before the next tick may start another.
        spinFor(200ms);
        if (refreshes < 3)
            refreshNow();
    }
    ASSERT_TRUE(spinUntil([&] { return sim_.phone(usbSerial).companionSession == "ended"; }));
    EXPECT_EQ(count(QStringLiteral("install -r")), 1);
    EXPECT_EQ(count(QStringLiteral("dumpsys package")), 1);
    EXPECT_EQ(sim_.phone(usbSerial).packages.at("com.corvantil.lumarient.companion"), 6);
    EXPECT_EQ(sim_.phone(usbSerial).reversedPorts, phonesim::Words{"tcp:38017 tcp:38017"});
}

TEST_F(DeviceManagerTest, PendingOverlayCleanupIsRetriedUntilItWorks)
{
    defaults_.setValue(QStringLiteral("pendingOverlayCleanups"), QStringList{model, QStringLiteral("GONE")});
    sim_.addPhone(makePhone(usbSerial, model));
    sim_.update(
        [](phonesim::SimState &state) { state.phones[0].settings["global.overlay_display_devices"] = "1x1/1"; });
    sim_.addRule({"adb", "*", "shell settings delete", "error: closed\n", 1, 1, 0});
    DeviceManager &manager = startManager();
    // The first deletion failed: the model is back in the set for a later refresh.
    ASSERT_TRUE(spinUntil([&] { return count(QStringLiteral("settings delete")) == 1; }));
    ASSERT_TRUE(spinUntil([&] { return manager.pendingOverlayCleanups().contains(model); }));
    refreshNow();
    ASSERT_TRUE(spinUntil([&] { return !manager.pendingOverlayCleanups().contains(model); }));
    ASSERT_TRUE(spinUntil([&] { return count(QStringLiteral("settings delete")) == 2; }));
    ASSERT_TRUE(spinUntil([&] { return !hasOverlaySetting(usbSerial); }));
    EXPECT_EQ(manager.pendingOverlayCleanups(), QSet<QString>{QStringLiteral("GONE")});
    EXPECT_EQ(defaults_.stringArray(QStringLiteral("pendingOverlayCleanups")), QStringList{QStringLiteral("GONE")});
}

// Commands get half a second here, so a hung listing is cut off quickly.
class CutOffListingTest : public ManagerHarness {
protected:
    CutOffListingTest() : ManagerHarness(500ms) {}
};

TEST_F(CutOffListingTest, AListingCutOffByTheTimeLimitStillEndsTheRefresh)
{
    sim_.addPhone(makePhone(usbSerial, model));
    // adb hangs for longer than any command may take.
    sim_.addRule({"adb", "*", "devices", "", 0, 1, 60000});
    DeviceManager &manager = startManager();
    EXPECT_TRUE(manager.devices().isEmpty());
    EXPECT_EQ(count(QStringLiteral("devices -l")), 1);
    refreshNow();
    EXPECT_EQ(manager.devices().size(), 1);
}

TEST_F(DeviceManagerTest, ASlowPhoneDoesNotPileUpCompanionWork)
{
    sim_.addPhone(makePhone(usbSerial, model));
    sim_.addRule({"adb", "*", "reverse", "", 0, -1, 1500});
    startManager();
    for (int tick = 0; tick < 4; ++tick) {
        refreshNow();
        spinFor(100ms);
    }
    EXPECT_EQ(count(QStringLiteral("reverse tcp:38017")), 1);
    ASSERT_TRUE(spinUntil([&] { return count(QStringLiteral("reverse tcp:38017")) == 1; }));
    spinFor(1600ms);
    refreshNow();
    ASSERT_TRUE(spinUntil([&] { return count(QStringLiteral("reverse tcp:38017")) == 2; }));
}
