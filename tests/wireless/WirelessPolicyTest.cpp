#include "wireless/WirelessPolicy.h"
#include "support/Devices.h"

#include <gtest/gtest.h>

using namespace lumarient;
using namespace lumarient::test;
using namespace lumarient::WirelessPolicy;
using namespace std::chrono_literals;
using Candidate = LANScanner::Candidate;

namespace {

const TimePoint t0 = TimePoint(std::chrono::hours(1000));

ConnectedDevice wifi(const QString &serial, const QString &model = QStringLiteral("SM_G973F"),
                     DeviceState state = DeviceState::ready)
{
    return {serial, model, true, state};
}

ConnectedDevice cable(const QString &serial, const QString &model, DeviceState state = DeviceState::ready)
{
    return {serial, model, false, state};
}

DiscoveredService service(const QString &name, const QString &host, int port)
{
    return {name, name, host, port};
}

} // namespace

TEST(WirelessPolicyEndpointsTest, RememberingMovesToTheFrontAndKeepsTwelve)
{
    QStringList known;
    known = remember(known, QStringLiteral("10.0.0.1:5555"));
    known = remember(known, QStringLiteral("10.0.0.2:5555"));
    known = remember(known, QStringLiteral("10.0.0.1:5555"));
    EXPECT_EQ(known, (QStringList{QStringLiteral("10.0.0.1:5555"), QStringLiteral("10.0.0.2:5555")}));

    EXPECT_EQ(remember(known, QStringLiteral("R58M123ABC")), known);
    EXPECT_EQ(remember(known, QString()), known);

    for (int i = 1; i <= 13; ++i)
        known = remember(known, QStringLiteral("192.168.1.%1:5555").arg(i));
    ASSERT_EQ(known.size(), 12);
    EXPECT_EQ(known.first(), QStringLiteral("192.168.1.13:5555"));
    EXPECT_EQ(known.last(), QStringLiteral("192.168.1.2:5555"));

    // A list that arrived longer than allowed (edited by hand) is cut back too.
    QStringList tooMany;
    for (int i = 0; i < 20; ++i)
        tooMany.append(QStringLiteral("10.1.1.%1:5555").arg(i));
    EXPECT_EQ(remember(tooMany, QStringLiteral("10.1.1.5:5555")).size(), 12);
}

TEST(WirelessPolicyEndpointsTest, OnlyHostAndDecimalPortBecomeCandidates)
{
    const QStringList known{
        QStringLiteral("192.168.1.40:5555"),
        QStringLiteral("192.168.1.41"),
        QStringLiteral("fe80::1:5555"),
        QStringLiteral("192.168.1.42:55a5"),
        QStringLiteral("192.168.1.43:+5555"),
        QStringLiteral("192.168.1.44: 5555"),
        QStringLiteral("192.168.1.45:99999999999"),
        QStringLiteral(":::"),
        QStringLiteral("::192.168.1.46::40123::"),
        QStringLiteral("adb-R58M-x._adb-tls-connect._tcp"),
        QStringLiteral("192.168.1.47:70000"),
        QStringLiteral("192.168.1.40:5555"),
    };
    EXPECT_EQ(candidatesFromEndpoints(known), (QList<Candidate>{{QStringLiteral("192.168.1.40"), 5555},
                                                                {QStringLiteral("192.168.1.46"), 40123},
                                                                {QStringLiteral("192.168.1.47"), 70000},
                                                                {QStringLiteral("192.168.1.40"), 5555}}));
}

TEST(WirelessPolicyEndpointsTest, HostsAndSerialKinds)
{
    EXPECT_EQ(hostOf(QStringLiteral("192.168.1.40:5555")), QStringLiteral("192.168.1.40"));
    EXPECT_EQ(hostOf(QStringLiteral(":192.168.1.40:5555")), QStringLiteral("192.168.1.40"));
    EXPECT_EQ(hostOf(QStringLiteral("R58M123ABC")), QStringLiteral("R58M123ABC"));
    EXPECT_TRUE(isMdnsSerial(QStringLiteral("adb-R58M-AbCd._adb-tls-connect._tcp")));
    EXPECT_FALSE(isMdnsSerial(QStringLiteral("192.168.1.40:5555")));

    const QList<ConnectedDevice> devices{wifi(QStringLiteral("192.168.1.40:5555")),
                                         wifi(QStringLiteral("192.168.1.41:41234"), QString(), DeviceState::offline),
                                         wifi(QStringLiteral("adb-X._adb-tls-connect._tcp")),
                                         cable(QStringLiteral("R58M:odd"), QStringLiteral("M"))};
    EXPECT_EQ(connectedWifiHosts(devices),
              (QSet<QString>{QStringLiteral("192.168.1.40"), QStringLiteral("192.168.1.41")}));
}

TEST(WirelessPolicyPinningTest, RandomPortsAndMdnsNamesArePinnedFixedPortsAreNot)
{
    const QList<DeviceConfig> configs{makeConfig(QStringLiteral("SM_G973F"), {}, 5557),
                                      makeConfig(QStringLiteral("SM_G973F"), {}, 6000)};
    EXPECT_EQ(pinningPort(wifi(QStringLiteral("192.168.1.40:5555")), configs), std::nullopt);
    EXPECT_EQ(pinningPort(wifi(QStringLiteral("192.168.1.40:29999")), configs), std::nullopt);
    EXPECT_EQ(pinningPort(wifi(QStringLiteral("192.168.1.40:30000")), configs), 5557);
    EXPECT_EQ(pinningPort(wifi(QStringLiteral("192.168.1.40:41234")), configs), 5557);
    EXPECT_EQ(pinningPort(wifi(QStringLiteral("adb-R58M-x._adb-tls-connect._tcp")), configs), 5557);
    EXPECT_EQ(pinningPort(wifi(QStringLiteral("wireless-serial")), configs), 5557);
    // A port that is not a number: leave it alone.
    EXPECT_EQ(pinningPort(wifi(QStringLiteral("192.168.1.40:4x")), configs), std::nullopt);
    EXPECT_EQ(pinningPort(wifi(QStringLiteral("192.168.1.40:")), configs), std::nullopt);

    EXPECT_EQ(pinningPort(wifi(QStringLiteral("192.168.1.40:41234"), QStringLiteral("OTHER")), configs), std::nullopt);
    EXPECT_EQ(pinningPort(wifi(QStringLiteral("192.168.1.40:41234"), QStringLiteral("sm_g973f")), configs),
              std::nullopt);
    EXPECT_EQ(pinningPort(wifi(QStringLiteral("192.168.1.40:41234"), QStringLiteral("SM_G973F"), DeviceState::offline),
                          configs),
              std::nullopt);
    EXPECT_EQ(pinningPort(cable(QStringLiteral("R58M123ABC"), QStringLiteral("SM_G973F")), configs), std::nullopt);
}

TEST(WirelessPolicyFallbackTest, MissingMeansAConfigOrEndpointWithoutAReadyDevice)
{
    const QList<DeviceConfig> configs{makeConfig(QStringLiteral("SM_G973F"), {}, 5557)};
    const QList<ConnectedDevice> ready{wifi(QStringLiteral("192.168.1.40:5557"))};
    EXPECT_FALSE(hasMissingConfiguredDevice(ready, configs, {QStringLiteral("192.168.1.40:5557")}));
    EXPECT_TRUE(hasMissingConfiguredDevice({}, configs, {}));
    EXPECT_TRUE(hasMissingConfiguredDevice(
        {wifi(QStringLiteral("192.168.1.40:5557"), QStringLiteral("SM_G973F"), DeviceState::unauthorized)}, configs,
        {}));
    // A remembered endpoint that never comes back keeps counting as missing.
    EXPECT_TRUE(hasMissingConfiguredDevice(ready, configs, {QStringLiteral("192.168.1.99:5555")}));
    EXPECT_FALSE(hasMissingConfiguredDevice({}, {}, {}));
}

TEST(WirelessPolicyFallbackTest, TheSixConditionsHoldInOrder)
{
    const QList<DeviceConfig> configs{makeConfig(QStringLiteral("SM_G973F"), {}, 5557)};
    const QList<DeviceConfig> noConfigs;
    const QList<ConnectedDevice> none;
    const QStringList noEndpoints;
    const QStringList endpoints{QStringLiteral("192.168.1.40:5557")};

    auto due = [&](const QList<DeviceConfig> &c, const QStringList &known, auto change) {
        FallbackInputs inputs{false, none, c, known, std::nullopt, t0, std::nullopt, t0 + 9s};
        change(inputs);
        return shouldRunLANFallback(inputs);
    };
    const auto nothing = [](FallbackInputs &) {};

    EXPECT_TRUE(due(configs, noEndpoints, nothing));
    EXPECT_TRUE(due(noConfigs, endpoints, nothing));
    EXPECT_FALSE(due(noConfigs, noEndpoints, nothing));
    EXPECT_FALSE(due(configs, noEndpoints, [](FallbackInputs &in) { in.lanScanInProgress = true; }));

    // Discovery must be more than 8 s old.
    EXPECT_FALSE(due(configs, noEndpoints, [](FallbackInputs &in) { in.now = t0 + 8s; }));
    EXPECT_TRUE(due(configs, noEndpoints, [](FallbackInputs &in) { in.now = t0 + 8001ms; }));

    // A Bonjour result holds scans off for 8 s.
    EXPECT_FALSE(due(configs, noEndpoints, [](FallbackInputs &in) { in.lastBonjourResult = t0 + 2s; }));
    EXPECT_TRUE(due(configs, noEndpoints, [](FallbackInputs &in) { in.lastBonjourResult = t0 + 1s; }));

    // At most one automatic scan a minute.
    EXPECT_FALSE(due(configs, noEndpoints, [](FallbackInputs &in) {
        in.lastLANScan = t0;
        in.now = t0 + 59s;
    }));
    EXPECT_TRUE(due(configs, noEndpoints, [](FallbackInputs &in) {
        in.lastLANScan = t0;
        in.now = t0 + 60s;
    }));

    // Nothing missing: nothing to scan for.
    const QList<ConnectedDevice> present{wifi(QStringLiteral("192.168.1.40:5557"))};
    FallbackInputs inputs{false, present, configs, endpoints, std::nullopt, t0, std::nullopt, t0 + 30s};
    EXPECT_FALSE(shouldRunLANFallback(inputs));
}

TEST(WirelessPolicyReconnectTest, SkipsConnectedHostsNamesAndRecentAttempts)
{
    const QList<ConnectedDevice> devices{
        wifi(QStringLiteral("192.168.1.40:5555"), QStringLiteral("A"), DeviceState::offline),
        wifi(QStringLiteral("adb-PIXEL-7f3a._adb-tls-connect._tcp"), QStringLiteral("B")),
        cable(QStringLiteral("R58M123ABC"), QStringLiteral("C")),
    };
    const QList<DiscoveredService> services{
        service(QStringLiteral("adb-R58M-1a2b"), QStringLiteral("192.168.1.40"), 41000),
        service(QStringLiteral("adb-PIXEL-7f3a"), QStringLiteral("192.168.1.50"), 42000),
        service(QStringLiteral("adb-NEW-0001"), QStringLiteral("192.168.1.60"), 43000),
        service(QStringLiteral("adb-NEW-0002"), QStringLiteral("192.168.1.60"), 43001),
    };
    QHash<QString, TimePoint> attempts;
    EXPECT_EQ(servicesToReconnect(services, devices, attempts, t0), QList<DiscoveredService>{services[2]});
    EXPECT_EQ(attempts.keys(), QStringList{QStringLiteral("192.168.1.60")});

    // The next list 4 s later: still within 10 s of the attempt.
    EXPECT_TRUE(servicesToReconnect(services, devices, attempts, t0 + 4s).isEmpty());
    EXPECT_TRUE(servicesToReconnect(services, devices, attempts, t0 + 9999ms).isEmpty());
    EXPECT_EQ(servicesToReconnect(services, devices, attempts, t0 + 10s), QList<DiscoveredService>{services[2]});

    // A service without a name is not taken for every phone already there.
    const QList<DiscoveredService> nameless{service(QString(), QStringLiteral("192.168.1.70"), 44000)};
    EXPECT_EQ(servicesToReconnect(nameless, devices, attempts, t0), nameless);
}
