#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace lumarient {

// The tuning values that differ between a cabled and a Wi-Fi phone.
struct StreamTuning {
    int keyframeIntervalFrames = 30;
    double keyframeIntervalSeconds = 0.5;
    double forcedKeyframePeriod = 2.0;
    int framesInFlightLimit = 2;
    std::int64_t bitRateCap = 24'000'000;

    static StreamTuning forLink(bool overWifi);
};

// The encoder's average bit rate for a display size: width x height x 3, at
// least 6,000,000 and at most the link's cap.
std::int64_t streamBitRate(int width, int height, bool overWifi);

// Whether the pointer, in fractions of the display, moved far enough from where
// the phone last drew it to be worth a cursor packet.
bool cursorMoved(float fromX, float fromY, float toX, float toY);

// The streamer's decisions, free of sockets, clocks and encoders: which frames
// are encoded and numbered, when a keyframe is forced, how many frames the link
// still holds, and which path a frame takes. Times are seconds of a monotonic
// clock that the caller reads. Used from the streamer's worker thread only.
class StreamRules {
public:
    enum class UdpState { none, unconfirmed, confirmed };

    struct FramePlan {
        std::uint32_t frameID = 0;
        bool forceKeyframe = false;
    };

    struct Route {
        bool tcp = true;
        bool udp = false;
        // Set when the UDP path is given up before this frame.
        std::optional<QString> fallbackReason;
    };

    static constexpr double udpConfirmationTimeout = 2.0;

    StreamRules(bool overWifi, double now);

    bool overWifi() const { return overWifi_; }
    const StreamTuning &tuning() const { return tuning_; }

    // A phone connected, replacing any earlier connection and its UDP path.
    void connectionOpened();
    void connectionClosed();
    bool connected() const { return connected_; }

    // A captured frame: nothing while no phone is connected (the frame is not
    // encoded); otherwise its number and whether it must be a keyframe.
    std::optional<FramePlan> beginFrame(double now);
    // The encoder produced a keyframe (forced or of its own accord).
    void keyframeEncoded(double now);

    bool needsConfig() const { return !sentConfig_; }
    void configSent() { sentConfig_ = true; }

    // Where an encoded frame goes.
    Route route(double now);

    // A frame packet is about to go over TCP: false when the link already holds
    // the limit (the frame is dropped and the next one will be a keyframe).
    bool admitTcpFrame();
    // The link has taken one frame packet.
    void frameTaken();
    int framesInFlight() const { return framesInFlight_; }

    void requestKeyframe() { needsKeyframe_ = true; }
    bool needsKeyframe() const { return needsKeyframe_; }
    std::uint32_t frameID() const { return frameID_; }

    // UDP path. `udpOffered` answers whether to open the path (Wi-Fi only).
    bool udpOffered() const { return overWifi_ && connected_; }
    void udpOpened(double now);
    // True when this confirmation is the first for the current path.
    bool udpConfirmed();
    // True when there was a path to give up.
    bool udpFailed();
    UdpState udpState() const { return udpState_; }

private:
    bool overWifi_;
    StreamTuning tuning_;
    bool connected_ = false;
    bool sentConfig_ = false;
    std::uint32_t frameID_ = 0;
    int framesInFlight_ = 0;
    bool needsKeyframe_ = false;
    double lastForcedKeyframe_;
    double lastKeyframe_;
    UdpState udpState_ = UdpState::none;
    double udpStartedAt_ = 0;
};

} // namespace lumarient
