#include "wireless/LANScanner.h"
#include "FakeInterfaceSource.h"
#include "LoopbackListener.h"

#include <gtest/gtest.h>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;
using Candidate = LANScanner::Candidate;

namespace {

QString ownAddress(const FakeInterfaceSource &interfaces)
{
    return LANScanner(interfaces).localIPv4Address().value_or(QStringLiteral("none"));
}

} // namespace

TEST(LANScannerAddressTest, PrefersWiredAndWirelessNamesThenTheFirstOtherUsableAddress)
{
    FakeInterfaceSource interfaces;
    interfaces.ipv4(QStringLiteral("docker0"), "172.17.0.1").ipv4(QStringLiteral("enp3s0"), "192.168.1.20");
    EXPECT_EQ(ownAddress(interfaces), QStringLiteral("192.168.1.20"));

    FakeInterfaceSource wireless;
    wireless.ipv4(QStringLiteral("tun0"), "10.8.0.2").ipv4(QStringLiteral("wlp2s0"), "192.168.7.9");
    EXPECT_EQ(ownAddress(wireless), QStringLiteral("192.168.7.9"));

    FakeInterfaceSource wired;
    wired.ipv4(QStringLiteral("virbr0"), "192.168.122.1").ipv4(QStringLiteral("eth1"), "10.1.2.3");
    EXPECT_EQ(ownAddress(wired), QStringLiteral("10.1.2.3"));

    // Without either, the first other usable address.
    FakeInterfaceSource others;
    others.ipv4(QStringLiteral("tun0"), "10.8.0.2").ipv4(QStringLiteral("docker0"), "172.17.0.1");
    EXPECT_EQ(ownAddress(others), QStringLiteral("10.8.0.2"));
}

TEST(LANScannerAddressTest, SkipsLoopbackDownLinkLocalIPv6AndAddresslessEntries)
{
    FakeInterfaceSource interfaces;
    interfaces.ipv4(QStringLiteral("lo"), "127.0.0.1", IFF_UP | IFF_LOOPBACK)
        .ipv4(QStringLiteral("eth0"), "192.168.1.5", IFF_RUNNING)
        .ipv4(QStringLiteral("enp0s1"), "169.254.10.10")
        .ipv6(QStringLiteral("enp0s2"), "fe80::1")
        .withoutAddress(QStringLiteral("wlan0"));
    EXPECT_EQ(LANScanner(interfaces).localIPv4Address(), std::nullopt);

    interfaces.ipv4(QStringLiteral("bridge0"), "10.0.0.4");
    EXPECT_EQ(ownAddress(interfaces), QStringLiteral("10.0.0.4"));
}

TEST(LANScannerAddressTest, SubnetPrefixNeedsExactlyFourParts)
{
    EXPECT_EQ(LANScanner::subnetPrefix(QStringLiteral("192.168.1.20")), QStringLiteral("192.168.1"));
    EXPECT_EQ(LANScanner::subnetPrefix(QStringLiteral("192.168.1")), std::nullopt);
    EXPECT_EQ(LANScanner::subnetPrefix(QStringLiteral("1.2.3.4.5")), std::nullopt);
    EXPECT_EQ(LANScanner::subnetPrefix(QString()), std::nullopt);
    EXPECT_EQ(LANScanner::subnetPrefix(QStringLiteral("....")), std::nullopt);
    EXPECT_TRUE(LANScanner::sweepCandidates(QStringLiteral("10.0.0"), {}, {}).isEmpty());
}

TEST(LANScannerSweepPlanTest, SkipsItselfAndSkipHostsAndMergesPorts)
{
    const QList<Candidate> candidates =
        LANScanner::sweepCandidates(QStringLiteral("10.0.0.7"), {5560, 40001, 5555, 9000, 40001, 0, -3, 65536, 70000},
                                    {QStringLiteral("10.0.0.9"), QStringLiteral("10.0.0.200")});

    // 31 common ports plus 9000 and 40001, over 254 - 3 hosts.
    ASSERT_EQ(candidates.size(), 251 * 33);
    QList<int> firstHostPorts;
    for (const Candidate &candidate : candidates) {
        EXPECT_NE(candidate.host, QStringLiteral("10.0.0.7"));
        EXPECT_NE(candidate.host, QStringLiteral("10.0.0.9"));
        EXPECT_NE(candidate.host, QStringLiteral("10.0.0.200"));
        EXPECT_GE(candidate.port, 1);
        EXPECT_LE(candidate.port, 65535);
        if (candidate.host == QLatin1String("10.0.0.1"))
            firstHostPorts.append(candidate.port);
    }
    QList<int> expected = LANScanner::commonPorts();
    expected << 9000 << 40001;
    EXPECT_EQ(firstHostPorts, expected);
    EXPECT_EQ(candidates.first(), (Candidate{QStringLiteral("10.0.0.1"), 5555}));
    EXPECT_EQ(candidates.last(), (Candidate{QStringLiteral("10.0.0.254"), 40001}));
}

TEST(LANScannerProbeTest, ProbeKnownKeepsInputOrderAndDuplicates)
{
    FakeInterfaceSource interfaces;
    LANScanner scanner(interfaces);
    LoopbackListener first(QStringLiteral("127.0.2.57"), 0);
    LoopbackListener second(QStringLiteral("127.0.2.58"), 0);
    const Candidate a{QStringLiteral("127.0.2.58"), second.port()};
    const Candidate b{QStringLiteral("127.0.2.57"), first.port()};
    const Candidate closed{QStringLiteral("127.0.2.59"), refusedPort(QStringLiteral("127.0.2.59"))};

    EXPECT_EQ(scanner.probeKnown({a, closed, b, a}), (QList<Candidate>{a, b, a}));
    EXPECT_TRUE(scanner.probeKnown({}).isEmpty());
    EXPECT_TRUE(scanner.isOpen(b));
    EXPECT_FALSE(scanner.isOpen(closed));
}

TEST(LANScannerProbeTest, MalformedCandidatesAreNeverProbed)
{
    FakeInterfaceSource interfaces;
    LANScanner scanner(interfaces);
    LoopbackListener listener(QStringLiteral("127.0.2.57"), 0);
    const Candidate open{QStringLiteral("127.0.2.57"), listener.port()};
    QString withNul = QStringLiteral("127.0.2.57");
    withNul.append(QChar(0)).append(QStringLiteral("junk"));
    const QList<Candidate> hostile{
        {QStringLiteral("127.0.2.57"), 0},
        {QStringLiteral("127.0.2.57"), -1},
        {QStringLiteral("127.0.2.57"), 65536},
        {QStringLiteral("127.0.2.57"), listener.port() + 65536},
        {QString(), listener.port()},
        {QStringLiteral("localhost"), listener.port()},
        {QStringLiteral("127.0.0"), listener.port()},
        {QStringLiteral("::1"), listener.port()},
        {QStringLiteral("127.0.2.57 "), listener.port()},
        {QStringLiteral("127.0.0.0057"), listener.port()},
        {withNul, listener.port()},
        {QStringLiteral("127.0.0.\u00b5"), listener.port()},
    };
    QList<Candidate> all = hostile;
    all.append(open);

    LANScanner::ProbeReport report;
    const QSet<Candidate> found = scanner.probe(all, {}, &report);
    EXPECT_EQ(found, QSet<Candidate>{open});
    EXPECT_EQ(report.started, all.size());
    EXPECT_EQ(scanner.probeKnown(hostile), QList<Candidate>{});
}

TEST(LANScannerProbeTest, RefusedPortsAnswerWithoutWaitingForTheTimeLimit)
{
    FakeInterfaceSource interfaces;
    // A limit far beyond the test's own timeout: only an early answer can pass.
    LANScanner scanner(interfaces, LANScanner::maximumInFlight, 600s);
    QList<Candidate> refused;
    for (int octet = 60; octet < 70; ++octet) {
        const QString host = QStringLiteral("127.0.2.%1").arg(octet);
        refused.append({host, refusedPort(host)});
    }
    LANScanner::ProbeReport report;
    EXPECT_TRUE(scanner.probe(refused, {}, &report).isEmpty());
    EXPECT_EQ(report.timedOut, 0);
}

TEST(LANScannerProbeTest, SilentHostsAreGivenUpAfterTheTimeLimitWithBoundedParallelism)
{
    FakeInterfaceSource interfaces;
    LANScanner scanner(interfaces, 8, 150ms);
    LoopbackListener silent(QStringLiteral("127.0.2.61"), 0);
    silent.stopAnswering();
    LoopbackListener open(QStringLiteral("127.0.2.62"), 0);

    QList<Candidate> candidates;
    for (int i = 0; i < 20; ++i)
        candidates.append({QStringLiteral("127.0.2.61"), silent.port()});
    candidates.append({QStringLiteral("127.0.2.62"), open.port()});

    LANScanner::ProbeReport report;
    const QSet<Candidate> found = scanner.probe(candidates, {}, &report);
    EXPECT_EQ(found, (QSet<Candidate>{{QStringLiteral("127.0.2.62"), open.port()}}));
    EXPECT_EQ(report.started, candidates.size());
    EXPECT_EQ(report.peakInFlight, 8);
    EXPECT_EQ(report.timedOut, 20);
}

TEST(LANScannerProbeTest, AStopRequestEndsTheProbeRun)
{
    FakeInterfaceSource interfaces;
    LANScanner scanner(interfaces, 4, 600s);
    LoopbackListener silent(QStringLiteral("127.0.2.64"), 0);
    silent.stopAnswering();
    std::stop_source stop;
    stop.request_stop();
    LANScanner::ProbeReport report;
    EXPECT_TRUE(scanner.probe({{QStringLiteral("127.0.2.64"), silent.port()}}, stop.get_token(), &report).isEmpty());
    EXPECT_EQ(report.started, 0);
}

// Sweeps 127.0.0.0/24, which no other test listens on.
TEST(LANScannerSweepTest, SweepsTheLoopbackSubnetInOrderSkippingItselfAndSkipHosts)
{
    FakeInterfaceSource interfaces;
    interfaces.ipv4(QStringLiteral("lo"), "127.0.0.1", IFF_UP | IFF_LOOPBACK).ipv4(QStringLiteral("eth0"), "127.0.0.1");
    LANScanner scanner(interfaces);
    LoopbackListener ownService(QStringLiteral("127.0.0.1"), 5555);
    LoopbackListener skipped(QStringLiteral("127.0.0.30"), 5556);
    LoopbackListener phone(QStringLiteral("127.0.0.57"), 5585);
    LoopbackListener extra(QStringLiteral("127.0.0.57"), 0);
    LoopbackListener other(QStringLiteral("127.0.0.12"), 5560);

    const QList<Candidate> found = scanner.sweepLocalSubnet({extra.port()}, {QStringLiteral("127.0.0.30")});
    EXPECT_EQ(found, (QList<Candidate>{{QStringLiteral("127.0.0.12"), 5560},
                                       {QStringLiteral("127.0.0.57"), 5585},
                                       {QStringLiteral("127.0.0.57"), extra.port()}}));
}

TEST(LANScannerSweepTest, NoUsableAddressMeansNoSweep)
{
    FakeInterfaceSource interfaces;
    interfaces.ipv4(QStringLiteral("eth0"), "169.254.3.4");
    EXPECT_TRUE(LANScanner(interfaces).sweepLocalSubnet({5555}, {}).isEmpty());
}
