#pragma once

#include "platform/VideoEncoder.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>

namespace lumarient {

// What an encoder module exports under `videoEncoderModuleEntry`: a new
// factory, owned by the caller. The name carries the version of this contract,
// so a module built against another one is refused rather than called.
using VideoEncoderModuleEntry = VideoEncoderFactory *(*)();
inline constexpr const char *videoEncoderModuleEntry = "lumarient_video_encoder_factory_v1";

// An encoder factory kept in a loadable module that is opened at the first
// `open`: the encoder's libraries (libavcodec and the codecs it pulls in) cost
// start-up time and memory that only a running second display needs. A module
// that is missing or unusable gives no encoder and one diagnostic line; the
// next `open` tries again. Once loaded, the module stays for the life of the
// process: its libraries keep threads and exit handlers that must not be unmapped.
class VideoEncoderModule final : public VideoEncoderFactory {
public:
    // `candidates` are tried in order; the first that exists is the module.
    explicit VideoEncoderModule(QStringList candidates);
    ~VideoEncoderModule() override;

    std::unique_ptr<VideoEncoder> open(const VideoEncoderSettings &settings) override;
    bool isLoaded() const;

private:
    // The module's factory, loading it first; nothing after a logged failure.
    VideoEncoderFactory *factory();

    const QStringList candidates_;
    mutable std::mutex mutex_;
    std::unique_ptr<VideoEncoderFactory> factory_;
};

} // namespace lumarient
