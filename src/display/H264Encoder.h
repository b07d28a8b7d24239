#pragma once

#include "platform/ScreenCapture.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace lumarient {

struct EncodedFrame {
    // Annex B, as the encoder wrote it (3- or 4-byte start codes).
    QByteArray annexB;
    bool isKeyframe = false;
};

// H.264 for the second display: real time, no frame reordering, High profile,
// keyframes at most every N frames, average bit rate B with a one-second limit
// of 1.5 x B. VAAPI when the machine offers it, otherwise libx264. Captured BGRA
// is converted with libyuv's SIMD paths. Used from one thread.
class H264Encoder {
public:
    struct Settings {
        int width = 0;
        int height = 0;
        int keyframeIntervalFrames = 30;
        std::int64_t bitRate = 6'000'000;
        int frameRate = 60;
        // Tests and benchmarks can keep the encoder off the GPU.
        bool allowHardware = true;
        // libx264's speed preset: the fastest ones trade compression for time.
        const char *softwarePreset = "ultrafast";
    };

    // Nothing when no encoder can be opened with these settings.
    static std::unique_ptr<H264Encoder> create(const Settings &settings);
    virtual ~H264Encoder() = default;

    // "h264_vaapi" or "libx264".
    virtual QString name() const = 0;
    // The SPS and PPS, Annex B.
    virtual QByteArray parameterSets() const = 0;
    // Nothing when the encoder failed on this frame or held it back.
    virtual std::optional<EncodedFrame> encode(const CapturedFrame &frame, bool forceKeyframe) = 0;
};

} // namespace lumarient
