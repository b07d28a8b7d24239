#include "platform/libav/LibavVideoEncoder.h"

#include "platform/libav/LibavHandles.h"

#include <libyuv.h>

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
}

namespace lumarient::libav {

namespace {

// Converts captured BGRX pictures to the encoder's planar format with libyuv's
// SIMD rows (BT.601 matrix, limited range; the stream says so).
bool convertPicture(const CapturedFrame &source, AVFrame *target)
{
    if (target->format == AV_PIX_FMT_NV12) {
        return libyuv::ARGBToNV12(source.bgra, source.stride, target->data[0], target->linesize[0], target->data[1],
                                  target->linesize[1], source.width, source.height) == 0;
    }
    return libyuv::ARGBToI420(source.bgra, source.stride, target->data[0], target->linesize[0], target->data[1],
                              target->linesize[1], target->data[2], target->linesize[2], source.width,
                              source.height) == 0;
}

void configureCommon(AVCodecContext *context, const VideoEncoderSettings &settings)
{
    context->width = settings.width;
    context->height = settings.height;
    context->time_base = AVRational{1, settings.frameRate};
    context->framerate = AVRational{settings.frameRate, 1};
    context->gop_size = settings.keyframeIntervalFrames;
    context->max_b_frames = 0;
    context->bit_rate = settings.bitRate;
    context->rc_max_rate = settings.bitRate * 3 / 2;
    context->rc_buffer_size = int(std::min<std::int64_t>(settings.bitRate * 3 / 2, INT32_MAX));
    context->profile = FF_PROFILE_H264_HIGH;
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER | AV_CODEC_FLAG_LOW_DELAY;
    context->colorspace = AVCOL_SPC_SMPTE170M;
    context->color_primaries = AVCOL_PRI_BT709;
    context->color_trc = AVCOL_TRC_BT709;
    context->color_range = AVCOL_RANGE_MPEG;
}

class LibavVideoEncoder final : public VideoEncoder {
public:
    QString name() const override { return name_; }
    QByteArray parameterSets() const override
    {
        return QByteArray(reinterpret_cast<const char *>(context_->extradata), context_->extradata_size);
    }

    // libx264 in software.
    bool openSoftware(const VideoEncoderSettings &settings, const char *preset)
    {
        const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
        if (codec == nullptr) {
            return false;
        }
        context_.reset(avcodec_alloc_context3(codec));
        configureCommon(context_.get(), settings);
        context_->pix_fmt = AV_PIX_FMT_YUV420P;
        // Sliced threads keep one frame in, one frame out.
        context_->thread_count = 2;
        AVDictionary *options = nullptr;
        av_dict_set(&options, "preset", preset, 0);
        av_dict_set(&options, "tune", "zerolatency", 0);
        av_dict_set(&options, "profile", "high", 0);
        av_dict_set(&options, "forced-idr", "1", 0);
        // The fast presets turn 8x8 transforms off; they are what makes High profile.
        // CABAC stays off: it costs a fifth of the encoder's time per frame to save
        // about a tenth of the bits, and time per frame is what the phone waits for.
        av_dict_set(&options, "x264-params", "scenecut=0:rc-lookahead=0:sync-lookahead=0:cabac=0:8x8dct=1", 0);
        const int opened = avcodec_open2(context_.get(), codec, &options);
        av_dict_free(&options);
        if (opened < 0) {
            return false;
        }
        name_ = QStringLiteral("libx264");
        return allocateFrames(AV_PIX_FMT_YUV420P);
    }

    // h264_vaapi, when a render node with an H.264 entry point exists.
    bool openHardware(const VideoEncoderSettings &settings)
    {
        const AVCodec *codec = avcodec_find_encoder_by_name("h264_vaapi");
        if (codec == nullptr) {
            return false;
        }
        AVBufferRef *device = nullptr;
        if (av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0) < 0) {
            return false;
        }
        device_.reset(device);
        frames_.reset(av_hwframe_ctx_alloc(device_.get()));
        if (frames_ == nullptr) {
            return false;
        }
        auto *framesContext = reinterpret_cast<AVHWFramesContext *>(frames_->data);
        framesContext->format = AV_PIX_FMT_VAAPI;
        framesContext->sw_format = AV_PIX_FMT_NV12;
        framesContext->width = settings.width;
        framesContext->height = settings.height;
        framesContext->initial_pool_size = 4;
        if (av_hwframe_ctx_init(frames_.get()) < 0) {
            return false;
        }
        context_.reset(avcodec_alloc_context3(codec));
        configureCommon(context_.get(), settings);
        context_->pix_fmt = AV_PIX_FMT_VAAPI;
        context_->hw_frames_ctx = av_buffer_ref(frames_.get());
        AVDictionary *options = nullptr;
        // One frame in flight inside the driver.
        av_dict_set(&options, "async_depth", "1", 0);
        av_dict_set(&options, "rc_mode", "VBR", 0);
        const int opened = avcodec_open2(context_.get(), codec, &options);
        av_dict_free(&options);
        if (opened < 0) {
            return false;
        }
        hardware_.reset(av_frame_alloc());
        name_ = QStringLiteral("h264_vaapi");
        return hardware_ != nullptr && allocateFrames(AV_PIX_FMT_NV12);
    }

    void requestKeyframe() override { keyframeRequested_ = true; }

    std::optional<EncodedPacket> encode(const CapturedFrame &frame) override
    {
        if (frame.width != context_->width || frame.height != context_->height ||
            av_frame_make_writable(picture_.get()) < 0 || !convertPicture(frame, picture_.get())) {
            return std::nullopt;
        }
        AVFrame *input = picture_.get();
        if (hardware_ != nullptr) {
            av_frame_unref(hardware_.get());
            if (av_hwframe_get_buffer(frames_.get(), hardware_.get(), 0) < 0 ||
                av_hwframe_transfer_data(hardware_.get(), picture_.get(), 0) < 0) {
                return std::nullopt;
            }
            input = hardware_.get();
        }
        input->pts = pts_++;
        input->pict_type = keyframeRequested_ ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(context_.get(), input) < 0) {
            return std::nullopt;
        }
        keyframeRequested_ = false;
        return receivePackets();
    }

    std::optional<EncodedPacket> flush() override
    {
        if (avcodec_send_frame(context_.get(), nullptr) < 0) {
            return std::nullopt;
        }
        return receivePackets();
    }

private:
    // Everything the encoder has ready, as one packet.
    std::optional<EncodedPacket> receivePackets()
    {
        std::optional<EncodedPacket> encoded;
        while (avcodec_receive_packet(context_.get(), packet_.get()) == 0) {
            if (!encoded) {
                encoded.emplace();
            }
            encoded->annexB.append(reinterpret_cast<const char *>(packet_->data), packet_->size);
            encoded->isKeyframe = encoded->isKeyframe || (packet_->flags & AV_PKT_FLAG_KEY) != 0;
            av_packet_unref(packet_.get());
        }
        return encoded;
    }

    bool allocateFrames(AVPixelFormat format)
    {
        picture_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (picture_ == nullptr || packet_ == nullptr) {
            return false;
        }
        picture_->format = format;
        picture_->width = context_->width;
        picture_->height = context_->height;
        return av_frame_get_buffer(picture_.get(), 0) == 0;
    }

    QString name_;
    BufferRefPtr device_;
    BufferRefPtr frames_;
    CodecContextPtr context_;
    FramePtr picture_;
    FramePtr hardware_;
    PacketPtr packet_;
    std::int64_t pts_ = 0;
    bool keyframeRequested_ = false;
};

} // namespace

LibavVideoEncoderFactory::LibavVideoEncoderFactory(bool allowHardware, const char *softwarePreset)
    : allowHardware_(allowHardware), softwarePreset_(softwarePreset)
{
}

std::unique_ptr<VideoEncoder> LibavVideoEncoderFactory::open(const VideoEncoderSettings &settings)
{
    if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 != 0 || settings.height % 2 != 0) {
        return nullptr;
    }
    // libav's informational chatter would fill standard output, which carries our log lines.
    av_log_set_level(AV_LOG_ERROR);
    if (allowHardware_) {
        auto hardware = std::make_unique<LibavVideoEncoder>();
        if (hardware->openHardware(settings)) {
            return hardware;
        }
    }
    auto software = std::make_unique<LibavVideoEncoder>();
    if (software->openSoftware(settings, softwarePreset_)) {
        return software;
    }
    return nullptr;
}

} // namespace lumarient::libav
