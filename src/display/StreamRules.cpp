#include "display/StreamRules.h"

#include <algorithm>
#include <cmath>

namespace lumarient {

StreamTuning StreamTuning::forLink(bool overWifi)
{
    if (overWifi) {
        return StreamTuning{15, 0.25, 1.0, 3, 20'000'000};
    }
    return StreamTuning{30, 0.5, 2.0, 2, 24'000'000};
}

bool cursorMoved(float fromX, float fromY, float toX, float toY)
{
    // Less than this in both directions is sensor jitter, not worth a packet.
    constexpr float deadBand = 0.0005f;
    return std::fabs(toX - fromX) >= deadBand || std::fabs(toY - fromY) >= deadBand;
}

std::int64_t streamBitRate(int width, int height, bool overWifi)
{
    constexpr std::int64_t floor = 6'000'000;
    const std::int64_t wanted = std::int64_t(width) * height * 3;
    if (wanted <= floor) {
        return floor;
    }
    return std::min(wanted, StreamTuning::forLink(overWifi).bitRateCap);
}

StreamRules::StreamRules(bool overWifi, double now)
    : overWifi_(overWifi), tuning_(StreamTuning::forLink(overWifi)), lastForcedKeyframe_(now), lastKeyframe_(now)
{
}

void StreamRules::connectionOpened()
{
    connected_ = true;
    sentConfig_ = false;
    framesInFlight_ = 0;
    udpState_ = UdpState::none;
    // The phone's decoder starts from nothing: a frame that refers to earlier
    // frames would show garbage until the next keyframe.
    needsKeyframe_ = true;
}

void StreamRules::connectionClosed()
{
    connected_ = false;
    framesInFlight_ = 0;
    udpState_ = UdpState::none;
}

std::optional<StreamRules::FramePlan> StreamRules::beginFrame(double now)
{
    if (!connected_) {
        return std::nullopt;
    }
    FramePlan plan;
    plan.frameID = ++frameID_;
    if (now - lastForcedKeyframe_ >= tuning_.forcedKeyframePeriod && framesInFlight_ == 0) {
        needsKeyframe_ = true;
    }
    if (needsKeyframe_) {
        needsKeyframe_ = false;
        lastForcedKeyframe_ = now;
        plan.forceKeyframe = true;
    } else if (now - lastKeyframe_ >= tuning_.keyframeIntervalSeconds) {
        // The encoder counts frames; this keeps the interval in seconds too.
        plan.forceKeyframe = true;
    }
    return plan;
}

void StreamRules::keyframeEncoded(double now)
{
    lastKeyframe_ = now;
}

StreamRules::Route StreamRules::route(double now)
{
    Route route;
    if (!overWifi_ || udpState_ == UdpState::none) {
        return route;
    }
    if (udpState_ == UdpState::unconfirmed && now - udpStartedAt_ > udpConfirmationTimeout) {
        udpFailed();
        route.fallbackReason = QStringLiteral("no confirmation from phone");
        return route;
    }
    route.udp = true;
    route.tcp = udpState_ == UdpState::unconfirmed;
    return route;
}

bool StreamRules::admitTcpFrame()
{
    if (framesInFlight_ >= tuning_.framesInFlightLimit) {
        needsKeyframe_ = true;
        return false;
    }
    ++framesInFlight_;
    return true;
}

void StreamRules::frameTaken()
{
    framesInFlight_ = std::max(framesInFlight_ - 1, 0);
}

void StreamRules::udpOpened(double now)
{
    udpState_ = UdpState::unconfirmed;
    udpStartedAt_ = now;
    needsKeyframe_ = true;
}

bool StreamRules::udpConfirmed()
{
    if (udpState_ != UdpState::unconfirmed) {
        return false;
    }
    udpState_ = UdpState::confirmed;
    return true;
}

bool StreamRules::udpFailed()
{
    if (udpState_ == UdpState::none) {
        return false;
    }
    udpState_ = UdpState::none;
    needsKeyframe_ = true;
    return true;
}

} // namespace lumarient
