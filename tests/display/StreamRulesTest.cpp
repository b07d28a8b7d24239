#include "display/StreamRules.h"

#include <gtest/gtest.h>

using namespace lumarient;

TEST(StreamRules, BitRateHasAFloorAndALinkCap)
{
    EXPECT_EQ(streamBitRate(2400, 1080, false), 7'776'000);
    EXPECT_EQ(streamBitRate(1920, 864, true), 6'000'000);
    EXPECT_EQ(streamBitRate(2560, 1600, false), 12'288'000);
    EXPECT_EQ(streamBitRate(3840, 2160, false), 24'000'000);
    EXPECT_EQ(streamBitRate(3840, 2160, true), 20'000'000);
}

TEST(StreamRules, NothingIsNumberedBeforeAPhoneConnectsAndTheFirstFrameIsOneAfterConfig)
{
    StreamRules rules(false, 0.0);
    EXPECT_FALSE(rules.beginFrame(0.1));
    EXPECT_FALSE(rules.beginFrame(0.2));
    EXPECT_EQ(rules.frameID(), 0u);

    rules.connectionOpened();
    EXPECT_TRUE(rules.needsConfig());
    const auto first = rules.beginFrame(0.3);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->frameID, 1u);
    EXPECT_TRUE(first->forceKeyframe) << "a new decoder needs a keyframe";
    rules.configSent();
    EXPECT_FALSE(rules.needsConfig());

    // A second connection wants a config packet again; numbering goes on.
    rules.connectionOpened();
    EXPECT_TRUE(rules.needsConfig());
    EXPECT_EQ(rules.beginFrame(0.4)->frameID, 2u);
}

TEST(StreamRules, AStalledLinkDropsTheFrameBeyondTheLimitAndForcesAKeyframe)
{
    for (const bool overWifi : {false, true}) {
        StreamRules rules(overWifi, 0.0);
        rules.connectionOpened();
        double now = 0.01;
        rules.beginFrame(now);
        const int limit = overWifi ? 3 : 2;
        for (int frame = 1; frame <= limit; ++frame) {
            EXPECT_TRUE(rules.admitTcpFrame()) << "frame " << frame;
        }
        rules.keyframeEncoded(now);
        const auto next = rules.beginFrame(now += 0.016);
        EXPECT_FALSE(next->forceKeyframe);
        EXPECT_FALSE(rules.admitTcpFrame()) << "frame " << limit + 1 << " is dropped";
        EXPECT_TRUE(rules.beginFrame(now += 0.016)->forceKeyframe);
        rules.frameTaken();
        EXPECT_TRUE(rules.admitTcpFrame());
    }
}

TEST(StreamRules, KeyframesAreForcedByPeriodOnlyWhenTheLinkIsIdleAndByIntervalAlways)
{
    StreamRules rules(false, 0.0);
    rules.connectionOpened();
    rules.beginFrame(0.0);
    rules.keyframeEncoded(0.0);
    EXPECT_FALSE(rules.beginFrame(0.4)->forceKeyframe);
    EXPECT_TRUE(rules.beginFrame(0.5)->forceKeyframe) << "0.5 s since the last keyframe";
    rules.keyframeEncoded(0.5);
    rules.admitTcpFrame();
    // The 2 s period waits for an idle link.
    rules.keyframeEncoded(2.05);
    EXPECT_FALSE(rules.beginFrame(2.1)->forceKeyframe);
    rules.frameTaken();
    EXPECT_TRUE(rules.beginFrame(2.11)->forceKeyframe);
}

TEST(StreamRules, UdpPathIsForWifiOnlyAndFallsBackWithoutConfirmation)
{
    StreamRules cable(false, 0.0);
    cable.connectionOpened();
    EXPECT_FALSE(cable.udpOffered());

    StreamRules rules(true, 0.0);
    EXPECT_FALSE(rules.udpOffered()) << "no connection";
    rules.connectionOpened();
    ASSERT_TRUE(rules.udpOffered());
    rules.udpOpened(10.0);
    auto route = rules.route(11.0);
    EXPECT_TRUE(route.udp);
    EXPECT_TRUE(route.tcp) << "unconfirmed: both paths";
    route = rules.route(12.0);
    EXPECT_TRUE(route.udp) << "exactly 2 s is not past the time-out";
    ASSERT_TRUE(rules.beginFrame(12.0)->forceKeyframe) << "the new path starts with a keyframe";
    EXPECT_FALSE(rules.needsKeyframe());
    route = rules.route(12.01);
    EXPECT_FALSE(route.udp);
    EXPECT_TRUE(route.tcp);
    EXPECT_EQ(route.fallbackReason, QStringLiteral("no confirmation from phone"));
    EXPECT_TRUE(rules.needsKeyframe());

    rules.udpOpened(20.0);
    EXPECT_TRUE(rules.udpConfirmed());
    EXPECT_FALSE(rules.udpConfirmed()) << "confirmed once";
    route = rules.route(30.0);
    EXPECT_TRUE(route.udp);
    EXPECT_FALSE(route.tcp);

    rules.connectionOpened();
    EXPECT_EQ(rules.udpState(), StreamRules::UdpState::none) << "a new connection closes the path";
    EXPECT_FALSE(rules.udpConfirmed()) << "a confirmation without a path means nothing";
}

TEST(StreamRules, TheCursorMovesOnlyPastItsDeadBand)
{
    EXPECT_FALSE(cursorMoved(0.5f, 0.5f, 0.5f, 0.5f));
    EXPECT_FALSE(cursorMoved(0.5f, 0.5f, 0.5004f, 0.4996f)) << "jitter in both directions";
    EXPECT_TRUE(cursorMoved(0.5f, 0.5f, 0.5006f, 0.5f));
    EXPECT_TRUE(cursorMoved(0.5f, 0.5f, 0.5f, 0.4994f)) << "one direction is enough";
    // Nothing drawn yet: the first look always sends.
    EXPECT_TRUE(cursorMoved(-1.0f, -1.0f, 0.0f, 0.0f));
}
