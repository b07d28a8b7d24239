// The wireless connector on the real DeviceManager, against simulated phones,
// fake discovery and path monitor, a manual clock, and real loopback sockets for
// the LAN scan.
#include "FakeInterfaceSource.h"
#include "FakeServiceDiscovery.h"
#include "LoopbackListener.h"
#include "devices/ManagerHarness.h"
#include "platform/NetworkPathMonitor.h"
#include "support/Devices.h"
#include "ui/PairingSheet.h"
#include "wireless/WirelessConnector.h"

#include <atomic>
#include <mutex>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const QString connectType = QStringLiteral("_adb-tls-connect._tcp");
const QString pairingType = QStringLiteral("_adb-tls-pairing._tcp");
const QString serial = QStringLiteral("R58M123ABC");
const QString model = QStringLiteral("SM_G973F");

// Path updates sent by the test, from the test's thread as a monitor thread would.
class FakePathMonitor final : public NetworkPathMonitor {
public:
    explicit FakePathMonitor(std::function<void(FakePathMonitor *)> created) { created(this); }
    void start(OnUpdate onUpdate) override { onUpdate_ = std::move(onUpdate); }
    void send(const NetworkPath &path) { onUpdate_(path); }

private:
    OnUpdate onUpdate_;
};

// Counts how often the scanner asked for the interfaces: once per subnet sweep.
class CountingInterfaces final : public InterfaceSource {
public:
    QList<InterfaceAddress> interfaces() const override
    {
        ++reads;
        return source.interfaces();
    }
    FakeInterfaceSource source;
    mutable std::atomic<int> reads = 0;
};

class WirelessManagerTest : public ManagerHarness {
protected:
    // The manager goes first: it still holds browses of the fake discovery.
    ~WirelessManagerTest() override
    {
        wireless_.reset();
        manager_.reset();
    }

    // Each test that scans gives the computer an address of its own /24, so that
    // tests running side by side never find each other's listeners.
    WirelessConnector &startWirelessManager(const char *ownAddress = "127.0.10.1")
    {
        interfaces_.source.ipv4(QStringLiteral("eth0"), ownAddress);
        startManager(false);
        WirelessConnector &wireless = startWireless([this](WirelessConnector::Dependencies &dependencies) {
            dependencies.serviceDiscovery = &discovery_;
            dependencies.makePathMonitor = [this] {
                return std::make_unique<FakePathMonitor>([this](FakePathMonitor *monitor) { pathMonitor_ = monitor; });
            };
            dependencies.interfaces = &interfaces_;
        });
        EXPECT_TRUE(spinUntil([&] { return !manager_->isRefreshing(); }));
        return wireless;
    }

    void saveConfig(const QString &configModel, int wifiPort)
    {
        QList<DeviceConfig> configs = DeviceConfig::load(defaults_);
        configs.append(makeConfig(configModel, {}, wifiPort));
        DeviceConfig::save(defaults_, configs);
    }

    void announce(const QString &type, const QList<DiscoveredService> &services)
    {
        ServiceBrowsingEvents &events = discovery_.events(type);
        for (const DiscoveredService &service : services) {
            events.serviceFound(service.name);
            QByteArray address(4, '\0');
            inet_pton(AF_INET, service.host.toLatin1().constData(), address.data());
            events.serviceResolved(service.name, {ServiceAddress{AF_INET, address, quint16(service.port)}});
        }
    }

    void sendPath(const NetworkPath &path)
    {
        pathMonitor_->send(path);
        spinFor(20ms);
    }

    bool waitForScanEnd()
    {
        return spinUntil([&] { return !wireless_->lanScanInProgress() && !manager_->isRefreshing(); });
    }

    // Waits until background adb work has quieted down: no new command for a while.
    void settle()
    {
        qsizetype seen = -1;
        while (seen != sim_.adbCommands().size()) {
            seen = sim_.adbCommands().size();
            spinFor(300ms);
        }
    }

    FakeServiceDiscovery discovery_;
    CountingInterfaces interfaces_;
    FakePathMonitor *pathMonitor_ = nullptr;
};

DiscoveredService service(const QString &name, const QString &host, int port)
{
    return {name, name, host, port};
}

NetworkPath path(NetworkPath::Status status, const QStringList &interfaces)
{
    return {status, interfaces};
}

} // namespace

TEST_F(WirelessManagerTest, OnlyAChangedPathSignatureRestartsDiscovery)
{
    WirelessConnector &wireless = startWirelessManager();
    DeviceManager &manager = *manager_;
    ASSERT_NE(pathMonitor_, nullptr);
    EXPECT_EQ(discovery_.browsedDomains.size(), 2);

    const NetworkPath wired = path(NetworkPath::Status::satisfied, {QStringLiteral("enp3s0")});
    sendPath(wired);
    sendPath(wired);
    EXPECT_EQ(discovery_.browsedDomains.size(), 2) << "the first update only records, an equal one does nothing";

    announce(connectType, {service(QStringLiteral("adb-other"), QStringLiteral("10.9.9.9"), 40000)});
    clock_.advance(20s);
    saveConfig(QStringLiteral("ABSENT"), 5560);
    manager.setConfigs(DeviceConfig::load(defaults_));
    EXPECT_TRUE(wireless.shouldRunLANFallback());

    sendPath(path(NetworkPath::Status::satisfied, {QStringLiteral("enp3s0"), QStringLiteral("wlp2s0")}));
    EXPECT_EQ(discovery_.browsedDomains.size(), 4);
    EXPECT_TRUE(discovery_.isBrowsing(connectType));
    EXPECT_TRUE(discovery_.isBrowsing(pairingType));
    // Discovery just restarted: no scan until it is 8 s old.
    EXPECT_FALSE(wireless.shouldRunLANFallback());
    clock_.advance(8001ms);
    EXPECT_TRUE(wireless.shouldRunLANFallback());

    wireless.systemDidWake();
    EXPECT_EQ(discovery_.browsedDomains.size(), 6);
    EXPECT_FALSE(wireless.shouldRunLANFallback());

    // A scan just ran; on a new network the minute between scans starts afresh.
    clock_.advance(8001ms);
    wireless.runLANFallback(true);
    ASSERT_TRUE(waitForScanEnd());
    clock_.advance(8001ms);
    EXPECT_FALSE(wireless.shouldRunLANFallback());
    sendPath(path(NetworkPath::Status::satisfied, {QStringLiteral("wlp2s0")}));
    clock_.advance(8001ms);
    EXPECT_TRUE(wireless.shouldRunLANFallback());
}

TEST_F(WirelessManagerTest, AnnouncedPhonesAreReconnectedOncePerTenSecondsRememberedAndPinned)
{
    phonesim::SimPhone phone = makePhone(serial, model);
    phone.usbAttached = false;
    phone.wirelessDebuggingPort = 41234;
    phone.wirelessDebuggingPaired = true;
    sim_.addPhone(phone);
    saveConfig(model, 5557);
    WirelessConnector &wireless = startWirelessManager();
    DeviceManager &manager = *manager_;
    const QString address = QString::fromStdString(phone.wlanAddress);
    const QString debugging = address + QStringLiteral(":41234");

    const QList<DiscoveredService> announced{service(QStringLiteral("adb-R58M123ABC-x"), address, 41234)};
    announce(connectType, announced);
    announce(connectType, announced);
    // A slow machine may take longer than a settling pause to start the first connect.
    EXPECT_TRUE(spinUntil([&] { return count(QStringLiteral("connect ") + debugging) > 0; }));
    settle();
    EXPECT_EQ(count(QStringLiteral("connect ") + debugging), 1);

    // Remembered as it connected, then moved to the configured fixed port once.
    EXPECT_TRUE(spinUntil([&] { return wireless.knownEndpoints().contains(address + QStringLiteral(":5557")); }));
    EXPECT_TRUE(wireless.knownEndpoints().contains(debugging));
    EXPECT_EQ(count(QStringLiteral("tcpip 5557")), 1);
    EXPECT_EQ(defaults_.stringArray(QStringLiteral("knownWifiEndpoints")), wireless.knownEndpoints());

    refreshNow();
    settle();
    EXPECT_EQ(count(QStringLiteral("tcpip 5557")), 1);
    ASSERT_TRUE(manager.wifiDevice(configFor(model)));
    EXPECT_EQ(manager.wifiDevice(configFor(model))->serial, address + QStringLiteral(":5557"));

    // The phone now answers under its Wi-Fi host: announcing it again connects nothing.
    clock_.advance(30s);
    announce(connectType, announced);
    settle();
    EXPECT_EQ(count(QStringLiteral("connect ") + debugging), 1);
}

TEST_F(WirelessManagerTest, AFailedPinIsNotRetriedAtEveryRefresh)
{
    phonesim::SimPhone phone = makePhone(serial, model);
    phone.usbAttached = false;
    phone.mdnsSerial = "adb-R58M123ABC-x._adb-tls-connect._tcp";
    sim_.addPhone(phone);
    saveConfig(model, 5557);
    sim_.addRule({"adb", "*", "tcpip", "error: closed\n", 1, -1, 0});
    WirelessConnector &wireless = startWirelessManager();
    settle();
    refreshNow();
    refreshNow();
    settle();
    EXPECT_EQ(count(QStringLiteral("-s adb-R58M123ABC-x._adb-tls-connect._tcp tcpip 5557")), 1);
    EXPECT_TRUE(wireless.knownEndpoints().isEmpty()) << "an mDNS name is no endpoint";
}

TEST_F(WirelessManagerTest, AutomaticScanNeedsSomethingToLookFor)
{
    WirelessConnector &wireless = startWirelessManager("127.0.11.1");
    clock_.advance(10min);
    wireless.runLANFallback(false);
    EXPECT_FALSE(wireless.lanScanInProgress());
    spinFor(50ms);
    EXPECT_EQ(interfaces_.reads, 0);

    // By hand it runs all the same (and, with nothing missing, ends without a
    // sweep).
    wireless.runLANFallback(true);
    EXPECT_TRUE(wireless.lanScanInProgress());
    ASSERT_TRUE(waitForScanEnd());
    EXPECT_FALSE(wireless.shouldRunLANFallback());
}

TEST_F(WirelessManagerTest, ScansNeverOverlapAndWaitForAnnouncementsToSettle)
{
    LoopbackListener silent(QStringLiteral("127.0.12.61"), 0);
    silent.stopAnswering();
    const QString unanswered = QStringLiteral("127.0.12.61:") + QString::number(silent.port());
    defaults_.setValue(QStringLiteral("knownWifiEndpoints"), QStringList{unanswered});
    WirelessConnector &wireless = startWirelessManager("127.0.12.1");
    EXPECT_EQ(wireless.knownEndpoints(), QStringList{unanswered});

    EXPECT_FALSE(wireless.shouldRunLANFallback()) << "discovery is not 8 s old yet";
    clock_.advance(9s);
    wireless.runLANFallback(false);
    ASSERT_TRUE(wireless.lanScanInProgress());
    // The remembered endpoint takes its full second to time out: meanwhile
    // neither an automatic nor a manual request starts a second run.
    wireless.runLANFallback(false);
    wireless.runLANFallback(true);
    ASSERT_TRUE(waitForScanEnd());
    EXPECT_EQ(interfaces_.reads, 1);

    // A phone being announced holds automatic scans off.
    clock_.advance(61s);
    announce(connectType, {service(QStringLiteral("adb-elsewhere"), QStringLiteral("10.1.1.1"), 40000)});
    wireless.runLANFallback(false);
    EXPECT_FALSE(wireless.lanScanInProgress());
    settle();
}

TEST_F(WirelessManagerTest, TheSweepFindsAndConnectsAMissingPhone)
{
    LoopbackListener adbd(QStringLiteral("127.0.13.57"), 5557);
    phonesim::SimPhone phone = makePhone(serial, model);
    phone.usbAttached = false;
    phone.wlanAddress = "127.0.13.57";
    phone.tcpipPort = 5557;
    sim_.addPhone(phone);
    saveConfig(model, 5557);
    WirelessConnector &wireless = startWirelessManager("127.0.13.1");
    DeviceManager &manager = *manager_;
    EXPECT_TRUE(wireless.hasMissingConfiguredDevice());

    clock_.advance(9s);
    wireless.runLANFallback(false);
    ASSERT_TRUE(waitForScanEnd());
    EXPECT_EQ(count(QStringLiteral("connect 127.0.13.57:5557")), 1);
    EXPECT_TRUE(spinUntil([&] { return manager.wifiDevice(configFor(model)).has_value(); }));
    EXPECT_EQ(wireless.knownEndpoints(), QStringList{QStringLiteral("127.0.13.57:5557")});
    EXPECT_FALSE(wireless.hasMissingConfiguredDevice());
}

TEST_F(WirelessManagerTest, SwitchingToWifiReportsOnlyItsOwnOutcome)
{
    sim_.addPhone(makePhone(serial, model));
    phonesim::SimPhone offline = makePhone(QStringLiteral("NOWIFI1"), QStringLiteral("NO_WIFI"));
    offline.wlanAddress.clear();
    sim_.addPhone(offline);
    WirelessConnector &wireless = startWirelessManager();
    DeviceManager &manager = *manager_;
    settle();

    wireless.switchToWifi(configFor(QStringLiteral("NO_WIFI")));
    EXPECT_TRUE(spinUntil([&] { return !manager.lastError().isEmpty(); }));
    EXPECT_EQ(manager.lastError(), QStringLiteral("Phone is not on Wi-Fi — join the same network as this computer"));

    const DeviceConfig config = configFor(model);
    wireless.switchToWifi(config);
    EXPECT_TRUE(spinUntil([&] { return manager.lastError().isNull() && manager.wifiDevice(config).has_value(); }));
    const QString endpoint = QStringLiteral("192.168.1.23:") + QString::number(config.wifiPort);
    EXPECT_EQ(wireless.knownEndpoints().first(), endpoint);

    // Already on Wi-Fi (the cable is gone): nothing to do.
    unplug(serial);
    refreshNow();
    settle();
    const int switches = count(QStringLiteral("tcpip"));
    wireless.switchToWifi(config);
    settle();
    EXPECT_EQ(count(QStringLiteral("tcpip")), switches);
}

TEST_F(WirelessManagerTest, QRSessionsPairOnceAndExpire)
{
    WirelessConnector &wireless = startWirelessManager();
    const QRPairingSession session = wireless.startQRPairing();
    ASSERT_TRUE(wireless.activeQRSession());
    sim_.update(
        [&](phonesim::SimState &state) { state.pairingCodes["192.168.1.30:37001"] = session.password.toStdString(); });

    const DiscoveredService phone = service(session.serviceName, QStringLiteral("192.168.1.30"), 37001);
    announce(pairingType, {phone});
    announce(pairingType, {phone});
    EXPECT_FALSE(wireless.activeQRSession());
    EXPECT_TRUE(spinUntil([&] { return count(QStringLiteral("pair 192.168.1.30:37001 ") + session.password) > 0; }));
    settle();
    EXPECT_EQ(count(QStringLiteral("pair 192.168.1.30:37001 ") + session.password), 1);
    EXPECT_EQ(wireless.pairingCandidates().size(), 1);

    // An expired session pairs nothing and is forgotten.
    const QRPairingSession late = wireless.startQRPairing();
    EXPECT_NE(late.serviceName, session.serviceName);
    clock_.advance(120s);
    announce(pairingType, {service(late.serviceName, QStringLiteral("192.168.1.32"), 37003)});
    EXPECT_FALSE(wireless.activeQRSession());
    settle();
    EXPECT_EQ(count(QStringLiteral("pair 192.168.1.32")), 0);
}

TEST_F(WirelessManagerTest, ThePairingSheetPairsByCodeAndClosesWhenAPhoneIsReady)
{
    phonesim::SimPhone phone = makePhone(serial, model);
    phone.usbAttached = false;
    phone.wirelessDebuggingPort = 41234;
    sim_.addPhone(phone);
    sim_.update([](phonesim::SimState &state) { state.pairingCodes["192.168.1.23:37001"] = "482913"; });
    WirelessConnector &wireless = startWirelessManager();
    DeviceManager &manager = *manager_;
    PairingSheet sheet(manager, wireless);
    sheet.shown();
    ASSERT_TRUE(sheet.qrSession());
    ASSERT_TRUE(sheet.qrImage());
    EXPECT_EQ(wireless.activeQRSession(), sheet.qrSession());

    announce(pairingType, {service(QStringLiteral("adb-R58M123ABC-pair"), QStringLiteral("192.168.1.23"), 37001)});
    // Not paired yet: the reconnect this announcement starts fails quietly.
    announce(connectType, {service(QStringLiteral("adb-R58M123ABC-x"), QStringLiteral("192.168.1.23"), 41234)});
    settle();
    EXPECT_TRUE(manager.readyDevices().isEmpty());
    EXPECT_TRUE(manager.lastError().isNull());
    EXPECT_FALSE(sheet.canPair());
    sheet.setSelectedID(QStringLiteral("adb-R58M123ABC-pair"));
    EXPECT_FALSE(sheet.canPair()) << "a selected phone but no code";
    sheet.setCode(QStringLiteral("000000"));
    EXPECT_TRUE(sheet.canPair());

    sheet.pair();
    EXPECT_TRUE(sheet.isPairing());
    EXPECT_FALSE(sheet.canPair());
    ASSERT_TRUE(spinUntil([&] { return !sheet.isPairing(); }));
    EXPECT_EQ(sheet.errorText(), QStringLiteral("Failed: Wrong password or connection was dropped."));
    EXPECT_TRUE(sheet.isPresented());

    sheet.setCode(QStringLiteral("482913"));
    sheet.pair();
    ASSERT_TRUE(spinUntil([&] { return !sheet.isPresented(); }));
    EXPECT_FALSE(sheet.errorText());
    // Connected through the phone's announced connect service, not the pairing port.
    EXPECT_EQ(count(QStringLiteral("connect 192.168.1.23:37001")), 0);
    EXPECT_TRUE(spinUntil([&] { return !manager.readyDevices().isEmpty(); }));
    settle();
}
