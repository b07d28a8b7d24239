#include "wireless/Bonjour.h"
#include "FakeServiceDiscovery.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

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

TEST_F(BonjourTest, OnlyResolvedIPv4ServicesAreDeliveredUntilRemoved)
{
    using Fake = FakeServiceDiscovery;
    const QString phone = QStringLiteral("adb-R58M-1"), mixed = QStringLiteral("mixed");
    EXPECT_EQ(discovery_.browsedDomains, QStringList{QStringLiteral("local.")});
    for (const QString &name : {phone, mixed, QStringLiteral("v6only")})
        events().serviceFound(name);
    EXPECT_EQ(discovery_.resolveRequests,
              (QList<Fake::ResolveRequest>{
                  {connectType, phone, 10s}, {connectType, mixed, 10s}, {connectType, QStringLiteral("v6only"), 10s}}));

    // Nothing usable yet: IPv6 only, malformed or no addresses, a name never found.
    events().serviceResolved(QStringLiteral("v6only"), {Fake::ipv6("fe80::1", 5555), Fake::ipv6("2001:db8::2", 5556)});
    events().serviceResolved(phone, {ServiceAddress{AF_INET, QByteArray(3, '\1'), 5555}});
    events().serviceResolved(phone, {ServiceAddress{AF_INET, QByteArray(16, '\1'), 5555}});
    events().serviceResolved(phone, {});
    events().serviceResolved(QStringLiteral("stranger"), {Fake::ipv4("10.0.0.3", 5555)});
    EXPECT_TRUE(lists_.isEmpty());

    // The first IPv4 address with its own port; a later resolution replaces the entry.
    events().serviceResolved(mixed,
                             {Fake::ipv6("fe80::1", 1111), Fake::ipv4("10.0.0.8", 2222), Fake::ipv4("10.0.0.9", 3333)});
    events().serviceResolved(phone, {Fake::ipv4("192.168.1.40", 41234)});
    events().serviceResolved(phone, {Fake::ipv4("192.168.1.41", 41999)});
    ASSERT_EQ(lists_.size(), 3);
    const DiscoveredService resolvedPhone = service(phone, QStringLiteral("192.168.1.41"), 41999);
    EXPECT_EQ(lists_.last(),
              (QList<DiscoveredService>{resolvedPhone, service(mixed, QStringLiteral("10.0.0.8"), 2222)}));

    // Removal delivers what remains, even nothing; a late answer does not bring it back.
    events().serviceRemoved(mixed);
    EXPECT_EQ(lists_.last(), QList<DiscoveredService>{resolvedPhone});
    events().serviceRemoved(phone);
    EXPECT_EQ(lists_.last(), QList<DiscoveredService>{});
    events().serviceResolved(phone, {Fake::ipv4("192.168.1.41", 41999)});
    EXPECT_EQ(lists_.size(), 5);
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
    FakeServiceDiscovery discovery;
    Bonjour bonjour(discovery, 5ms);
    auto browser = bonjour.browse(connectType, nullptr);
    discovery.events(connectType).serviceFound(QStringLiteral("a"));
    ASSERT_TRUE(spinUntil([&] { return discovery.resolveRequests.size() >= 3; }));
    EXPECT_EQ(discovery.resolveRequests[1].timeout, 4s);
}
