#pragma once

#include "platform/ScreenCapture.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace lumarient {

// What an H.264 encoder is opened for.
struct VideoEncoderSettings {
    int width = 0;
    int height = 0;
    // Average bits per second; the encoder keeps any one second under 1.5 times this.
    std::int64_t bitRate = 6'000'000;
    int frameRate = 60;
    // Keyframes come at most this many frames apart.
    int keyframeIntervalFrames = 30;
};

// The encoder's output for one frame: H.264 Annex B (3- or 4-byte start codes).
struct EncodedPacket {
    QByteArray annexB;
    bool isKeyframe = false;
};

// A real-time H.264 encoder: no frame reordering, so a frame's packet comes out
// as the frame goes in. Used from one thread.
class VideoEncoder {
public:
    virtual ~VideoEncoder() = default;

    // Names the implementation, for diagnostics ("libx264", "h264_vaapi", ...).
    virtual QString name() const = 0;
    // The SPS and PPS, Annex B.
    virtual QByteArray parameterSets() const = 0;
    // Makes the next encoded frame a keyframe.
    virtual void requestKeyframe() = 0;
    // Nothing when the frame could not be encoded or the encoder held it back.
    virtual std::optional<EncodedPacket> encode(const CapturedFrame &frame) = 0;
    // Ends the stream: what the encoder still held back. Nothing is encoded afterwards.
    virtual std::optional<EncodedPacket> flush() = 0;
};

class VideoEncoderFactory {
public:
    virtual ~VideoEncoderFactory() = default;
    // Nothing when no encoder can be opened with these settings.
    virtual std::unique_ptr<VideoEncoder> open(const VideoEncoderSettings &settings) = 0;
};

} // namespace lumarient
