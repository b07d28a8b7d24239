#include "wireless/Bonjour.h"
#include "FakeServiceDiscovery.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

const QString connectType = QStringLiteral("_adb-tls-connect._tcp");

QList<DiscoveredService> sorted(QList<DiscoveredService> services)
{
    std::sort(services.begin(), services.end(),
              [](const DiscoveredService &a, const DiscoveredService &b) { return a.id < b.id; });
    return services;
}

DiscoveredService service(const QString &name, const QString &host, int port)
{
    return {name, name, host, port};
}

class BonjourTest : public ::testing::Test {
protected:
    BonjourTest()
    {
        browser_ =
            bonjour_.browse(connectType, [this](const QList<DiscoveredService> &list) { lists_.append(sorted(list)); });
    }

    ServiceBrowsingEvents &events() { return discovery_.events(connectType); }

    FakeServiceDiscovery discovery_;
    Bonjour bonjour_{discovery_};
    std::unique_ptr<BonjourBrowser> browser_;
    QList<QList<DiscoveredService>> lists_;
};

} // namespace

TEST_F(BonjourTest, FoundServicesAreResolvedButOnlyResolvedOnesAreDelivered)
{
    EXPECT_EQ(discovery_.browsedDomains, QStringList{QStringLiteral("local.")});
    events().serviceFound(QStringLiteral("adb-R58M-1"));
    events().serviceFound(QStringLiteral("adb-PIXEL-2"));
    EXPECT_TRUE(lists_.isEmpty());
    EXPECT_EQ(discovery_.resolveRequests,
              (QList<FakeServiceDiscovery::ResolveRequest>{{connectType, QStringLiteral("adb-R58M-1"), 10s},
                                                           {connectType, QStringLiteral("adb-PIXEL-2"), 10s}}));

    events().serviceResolved(QStringLiteral("adb-R58M-1"), {FakeServiceDiscovery::ipv4("192.168.1.40", 41234)});
    ASSERT_EQ(lists_.size(), 1);
    EXPECT_EQ(lists_.last(),
              (QList<DiscoveredService>{service(QStringLiteral("adb-R58M-1"), QStringLiteral("192.168.1.40"), 41234)}));
}

TEST_F(BonjourTest, RepeatedResolutionsKeepOneEntryWithTheLatestAddress)
{
    events().serviceFound(QStringLiteral("adb-R58M-1"));
    events().serviceResolved(QStringLiteral("adb-R58M-1"), {FakeServiceDiscovery::ipv4("192.168.1.40", 41234)});
    events().serviceResolved(QStringLiteral("adb-R58M-1"), {FakeServiceDiscovery::ipv4("192.168.1.41", 41999)});
    ASSERT_EQ(lists_.size(), 2);
    EXPECT_EQ(lists_.last(),
              (QList<DiscoveredService>{service(QStringLiteral("adb-R58M-1"), QStringLiteral("192.168.1.41"), 41999)}));
}

TEST_F(BonjourTest, OnlyIPv4AddressesCountAndTheirOwnPortIsUsed)
{
    events().serviceFound(QStringLiteral("v6only"));
    events().serviceResolved(QStringLiteral("v6only"), {FakeServiceDiscovery::ipv6("fe80::1", 5555),
                                                        FakeServiceDiscovery::ipv6("2001:db8::2", 5556)});
    EXPECT_TRUE(lists_.isEmpty());

    events().serviceFound(QStringLiteral("mixed"));
    events().serviceResolved(QStringLiteral("mixed"),
                             {FakeServiceDiscovery::ipv6("fe80::1", 1111), FakeServiceDiscovery::ipv4("10.0.0.8", 2222),
                              FakeServiceDiscovery::ipv4("10.0.0.9", 3333)});
    ASSERT_EQ(lists_.size(), 1);
    EXPECT_EQ(lists_.last(),
              (QList<DiscoveredService>{service(QStringLiteral("mixed"), QStringLiteral("10.0.0.8"), 2222)}));
}

TEST_F(BonjourTest, MalformedAddressesAndUnknownNamesAreIgnored)
{
    events().serviceFound(QStringLiteral("phone"));
    events().serviceResolved(QStringLiteral("phone"), {ServiceAddress{AF_INET, QByteArray(3, '\1'), 5555}});
    events().serviceResolved(QStringLiteral("phone"), {ServiceAddress{AF_INET, QByteArray(16, '\1'), 5555}});
    events().serviceResolved(QStringLiteral("phone"), {});
    // Never found (or already removed): a late answer does not add it.
    events().serviceResolved(QStringLiteral("stranger"), {FakeServiceDiscovery::ipv4("10.0.0.3", 5555)});
    EXPECT_TRUE(lists_.isEmpty());
}

TEST_F(BonjourTest, RemovalDeliversTheRemainingListEvenWhenEmpty)
{
    events().serviceFound(QStringLiteral("a"));
    events().serviceFound(QStringLiteral("b"));
    events().serviceResolved(QStringLiteral("a"), {FakeServiceDiscovery::ipv4("10.0.0.1", 1)});
    events().serviceResolved(QStringLiteral("b"), {FakeServiceDiscovery::ipv4("10.0.0.2", 2)});
    events().serviceRemoved(QStringLiteral("a"));
    EXPECT_EQ(lists_.last(), (QList<DiscoveredService>{service(QStringLiteral("b"), QStringLiteral("10.0.0.2"), 2)}));
    events().serviceRemoved(QStringLiteral("b"));
    EXPECT_EQ(lists_.last(), QList<DiscoveredService>{});

    // A resolution that arrives after the removal does not resurrect it.
    events().serviceResolved(QStringLiteral("b"), {FakeServiceDiscovery::ipv4("10.0.0.2", 2)});
    EXPECT_EQ(lists_.size(), 4);
}

TEST_F(BonjourTest, RefreshReResolvesEveryFoundService)
{
    events().serviceFound(QStringLiteral("a"));
    events().serviceFound(QStringLiteral("b"));
    events().serviceRemoved(QStringLiteral("a"));
    discovery_.resolveRequests.clear();
    browser_->refreshTick();
    EXPECT_EQ(discovery_.resolveRequests,
              (QList<FakeServiceDiscovery::ResolveRequest>{{connectType, QStringLiteral("b"), 4s}}));
}

TEST_F(BonjourTest, StoppingEndsTheBrowseAndSilencesTheSubscriber)
{
    events().serviceFound(QStringLiteral("a"));
    ServiceBrowsingEvents &stale = events();
    browser_->stop();
    EXPECT_FALSE(discovery_.isBrowsing(connectType));
    stale.serviceResolved(QStringLiteral("a"), {FakeServiceDiscovery::ipv4("10.0.0.1", 1)});
    stale.serviceRemoved(QStringLiteral("a"));
    discovery_.resolveRequests.clear();
    browser_->refreshTick();
    EXPECT_TRUE(lists_.isEmpty());
    EXPECT_TRUE(discovery_.resolveRequests.isEmpty());
}

TEST(BonjourLifetimeTest, ReleasingTheBrowserStopsTheBrowse)
{
    FakeServiceDiscovery discovery;
    Bonjour bonjour(discovery);
    auto browser = bonjour.browse(QStringLiteral("_adb-tls-pairing._tcp"), nullptr);
    EXPECT_TRUE(discovery.isBrowsing(QStringLiteral("_adb-tls-pairing._tcp")));
    browser.reset();
    EXPECT_FALSE(discovery.isBrowsing(QStringLiteral("_adb-tls-pairing._tcp")));
}

TEST(BonjourTimerTest, TheRefreshTimerReResolvesOnTheEventLoop)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    FakeServiceDiscovery discovery;
    Bonjour bonjour(discovery, 5ms);
    auto browser = bonjour.browse(connectType, nullptr);
    discovery.events(connectType).serviceFound(QStringLiteral("a"));
    QElapsedTimer waited;
    waited.start();
    while (discovery.resolveRequests.size() < 3 && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_GE(discovery.resolveRequests.size(), 3);
    EXPECT_EQ(discovery.resolveRequests[1].timeout, 4s);
}
