#pragma once

#include "platform/VideoEncoder.h"

namespace lumarient::libav {

// H.264 through libavcodec for the second display: real time, no frame
// reordering, High profile. VAAPI when the machine offers it, otherwise libx264.
// Captured BGRA is converted with libyuv's SIMD paths.
class LibavVideoEncoderFactory final : public VideoEncoderFactory {
public:
    // Tests and benchmarks can keep encoding off the GPU; `softwarePreset` is
    // libx264's speed preset (the fastest ones trade compression for time).
    explicit LibavVideoEncoderFactory(bool allowHardware = true, const char *softwarePreset = "ultrafast");

    std::unique_ptr<VideoEncoder> open(const VideoEncoderSettings &settings) override;

private:
    bool allowHardware_;
    const char *softwarePreset_;
};

} // namespace lumarient::libav
