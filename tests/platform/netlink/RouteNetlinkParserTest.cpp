#include "platform/netlink/RouteNetlinkParser.h"
#include "wireless/PathSignature.h"

#include <gtest/gtest.h>

#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>

using namespace lumarient;
using Link = RouteNetlinkParser::Link;

namespace {

void appendAttribute(QByteArray &message, unsigned short type, const QByteArray &value)
{
    rtattr attribute{};
    attribute.rta_len = static_cast<unsigned short>(RTA_LENGTH(value.size()));
    attribute.rta_type = type;
    message.append(reinterpret_cast<const char *>(&attribute), sizeof attribute);
    message.append(value);
    message.append(QByteArray(RTA_ALIGN(attribute.rta_len) - attribute.rta_len, '\0'));
}

QByteArray message(uint16_t type, const QByteArray &payload)
{
    nlmsghdr header{};
    header.nlmsg_len = NLMSG_LENGTH(payload.size());
    header.nlmsg_type = type;
    QByteArray bytes(reinterpret_cast<const char *>(&header), sizeof header);
    bytes.append(payload);
    bytes.append(QByteArray(NLMSG_ALIGN(header.nlmsg_len) - header.nlmsg_len, '\0'));
    return bytes;
}

QByteArray linkMessage(int index, const QByteArray &name, unsigned flags)
{
    ifinfomsg info{};
    info.ifi_index = index;
    info.ifi_flags = flags;
    QByteArray payload(reinterpret_cast<const char *>(&info), sizeof info);
    appendAttribute(payload, IFLA_MTU, QByteArray(4, '\5'));
    appendAttribute(payload, IFLA_IFNAME, name);
    return message(RTM_NEWLINK, payload);
}

QByteArray addressMessage(int index, unsigned char family, const QByteArray &address)
{
    ifaddrmsg info{};
    info.ifa_family = family;
    info.ifa_index = static_cast<uint32_t>(index);
    QByteArray payload(reinterpret_cast<const char *>(&info), sizeof info);
    appendAttribute(payload, IFA_LOCAL, address);
    return message(RTM_NEWADDR, payload);
}

QByteArray ipv4(unsigned char a, unsigned char b, unsigned char c, unsigned char d)
{
    const char bytes[] = {char(a), char(b), char(c), char(d)};
    return QByteArray(bytes, 4);
}

constexpr unsigned upRunning = IFF_UP | IFF_RUNNING;

} // namespace

TEST(RouteNetlinkParserTest, ReadsLinksAndAddressedInterfaces)
{
    const QByteArray links = linkMessage(1, QByteArrayLiteral("lo\0"), upRunning | IFF_LOOPBACK) +
                             linkMessage(2, QByteArrayLiteral("enp3s0\0"), upRunning) +
                             linkMessage(3, QByteArrayLiteral("wlp2s0\0"), upRunning) +
                             linkMessage(4, QByteArrayLiteral("docker0\0"), IFF_UP) +
                             message(NLMSG_DONE, QByteArray(4, '\0'));
    const QList<Link> parsed = RouteNetlinkParser::links(links);
    ASSERT_EQ(parsed.size(), 4);
    EXPECT_EQ(parsed[1].name, QStringLiteral("enp3s0"));
    EXPECT_EQ(parsed[1].index, 2);
    EXPECT_TRUE(RouteNetlinkParser::endsDump(links));

    const QByteArray addresses =
        addressMessage(1, AF_INET, ipv4(127, 0, 0, 1)) + addressMessage(2, AF_INET, ipv4(169, 254, 1, 1)) +
        addressMessage(3, AF_INET6, QByteArray(16, '\1')) + addressMessage(3, AF_INET, ipv4(192, 168, 1, 9)) +
        addressMessage(3, AF_INET, ipv4(192, 168, 1, 10));
    EXPECT_EQ(RouteNetlinkParser::interfacesWithIPv4(addresses), (QList<int>{1, 3}));
    EXPECT_FALSE(RouteNetlinkParser::endsDump(addresses));

    const NetworkPath path = RouteNetlinkParser::path(parsed, RouteNetlinkParser::interfacesWithIPv4(addresses));
    EXPECT_EQ(path,
              (NetworkPath{NetworkPath::Status::satisfied, {QStringLiteral("enp3s0"), QStringLiteral("wlp2s0")}}));
    EXPECT_EQ(pathSignature(path), QStringLiteral("satisfied|[\"enp3s0\", \"wlp2s0\"]"));
}

TEST(RouteNetlinkParserTest, InterfacesWithoutAnAddressLeaveThePathUnsatisfied)
{
    const QList<Link> links{{2, QStringLiteral("eth0"), upRunning},
                            {5, QStringLiteral("lo"), upRunning | IFF_LOOPBACK}};
    const NetworkPath path = RouteNetlinkParser::path(links, {5});
    EXPECT_EQ(pathSignature(path), QStringLiteral("unsatisfied|[\"eth0\"]"));
    EXPECT_EQ(pathSignature(NetworkPath{}), QStringLiteral("unsatisfied|[]"));
    EXPECT_EQ(pathSignature({NetworkPath::Status::requiresConnection, {QStringLiteral("wwan0")}}),
              QStringLiteral("requiresConnection|[\"wwan0\"]"));
}

TEST(RouteNetlinkParserTest, TruncatedAndGarbledRepliesAreReadSafely)
{
    const QByteArray good = linkMessage(2, QByteArrayLiteral("eth0\0"), upRunning);

    // Every prefix of a valid reply: whole messages only, never a crash.
    const QByteArray twice = good + good;
    for (qsizetype cut = 0; cut <= twice.size(); ++cut) {
        const QList<Link> parsed = RouteNetlinkParser::links(twice.left(cut));
        EXPECT_EQ(parsed.size(), cut >= twice.size() ? 2 : cut >= good.size() ? 1 : 0) << cut;
    }

    // A header claiming more than was received.
    QByteArray tooLong = good;
    nlmsghdr header;
    std::memcpy(&header, tooLong.constData(), sizeof header);
    header.nlmsg_len = 100000;
    std::memcpy(tooLong.data(), &header, sizeof header);
    EXPECT_TRUE(RouteNetlinkParser::links(tooLong).isEmpty());

    // A header claiming less than itself.
    header.nlmsg_len = 3;
    std::memcpy(tooLong.data(), &header, sizeof header);
    EXPECT_TRUE(RouteNetlinkParser::links(tooLong).isEmpty());

    // An attribute running past its message, and a name without its terminator.
    ifinfomsg info{};
    info.ifi_flags = upRunning;
    QByteArray payload(reinterpret_cast<const char *>(&info), sizeof info);
    rtattr attribute{};
    attribute.rta_len = 60000;
    attribute.rta_type = IFLA_IFNAME;
    payload.append(reinterpret_cast<const char *>(&attribute), sizeof attribute);
    payload.append("eth9", 4);
    EXPECT_TRUE(RouteNetlinkParser::links(message(RTM_NEWLINK, payload)).isEmpty());

    QByteArray unterminated(reinterpret_cast<const char *>(&info), sizeof info);
    appendAttribute(unterminated, IFLA_IFNAME, QByteArrayLiteral("wlan0"));
    const QList<Link> parsed = RouteNetlinkParser::links(message(RTM_NEWLINK, unterminated));
    ASSERT_EQ(parsed.size(), 1);
    EXPECT_EQ(parsed[0].name, QStringLiteral("wlan0"));

    // A message too short for its fixed part, and an address of the wrong size.
    EXPECT_TRUE(RouteNetlinkParser::links(message(RTM_NEWLINK, QByteArray(3, '\0'))).isEmpty());
    EXPECT_TRUE(RouteNetlinkParser::interfacesWithIPv4(addressMessage(2, AF_INET, QByteArray(3, '\1'))).isEmpty());
    EXPECT_TRUE(RouteNetlinkParser::interfacesWithIPv4(QByteArray(1, '\xff')).isEmpty());
}
