#include "platform/pipewire/PipeWireScreenCapture.h"

#include "platform/Log.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

namespace lumarient::pipewire {

namespace {

constexpr int maximumSide = 16384;
constexpr std::uint32_t damageRegions = 16;

void log(const QString &text)
{
    logLine(QStringLiteral("ScreenCast"), text);
}

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

bool isRedFirst(std::uint32_t format)
{
    return format == SPA_VIDEO_FORMAT_RGBx || format == SPA_VIDEO_FORMAT_RGBA;
}

} // namespace

void swapRedBlue(const std::uint8_t *source, int sourceStride, std::uint8_t *target, int targetStride, int width,
                 int rows)
{
    for (int row = 0; row < rows; ++row) {
        const std::uint8_t *in = source + std::ptrdiff_t(row) * sourceStride;
        std::uint8_t *out = target + std::ptrdiff_t(row) * targetStride;
        for (int x = 0; x < width; ++x, in += 4, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = in[3];
        }
    }
}

struct PipeWireScreenCapture::Stream {
    int requestedWidth = 0;
    int requestedHeight = 0;
    pw_loop *loop = nullptr;
    std::thread::id user;
    pw_context *context = nullptr;
    pw_core *core = nullptr;
    pw_stream *stream = nullptr;
    spa_hook listener{};

    // Guards what the stream's callbacks write. They run on the thread that
    // has entered the loop, except while no thread has: between `open` and the
    // first use on the reader's thread they run on the stream's own thread.
    std::mutex mutex;
    std::uint32_t format = SPA_VIDEO_FORMAT_UNKNOWN;
    int width = 0;
    int height = 0;
    bool failed = false;
    // The newest picture, kept from the producer until a newer one comes.
    pw_buffer *held = nullptr;
    bool changed = true;
    std::uint64_t buffers = 0;

    std::vector<std::uint8_t> pixels;
    CapturedFrame frame;

    ~Stream()
    {
        if (loop != nullptr) {
            useFromThisThread();
        }
        if (stream != nullptr) {
            if (held != nullptr) {
                pw_stream_queue_buffer(stream, held);
            }
            spa_hook_remove(&listener);
            pw_stream_destroy(stream);
        }
        if (core != nullptr) {
            pw_core_disconnect(core);
        }
        if (context != nullptr) {
            pw_context_destroy(context);
        }
        if (loop != nullptr) {
            pw_loop_leave(loop);
            pw_loop_destroy(loop);
        }
    }

    // The loop stays entered by the thread that uses it, even between
    // iterations: then the stream's own thread hands each new buffer over
    // through the loop's descriptor, which wakes the user. A loop not entered
    // would take the buffer on the stream's thread, which wakes nobody.
    void useFromThisThread()
    {
        if (user != std::this_thread::get_id()) {
            pw_loop_enter(loop);
            user = std::this_thread::get_id();
        }
    }

    // Only the thread that entered the loop may leave it.
    void handOver()
    {
        pw_loop_leave(loop);
        user = {};
    }

    bool hasFailed()
    {
        std::lock_guard lock(mutex);
        return failed;
    }

    // Runs what the daemon sent, waiting at most `timeoutMs` (0: not at all).
    void iterate(int timeoutMs)
    {
        useFromThisThread();
        pw_loop_iterate(loop, timeoutMs);
    }

    static void onStateChanged(void *data, pw_stream_state, pw_stream_state state, const char *error)
    {
        auto *self = static_cast<Stream *>(data);
        std::lock_guard lock(self->mutex);
        if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
            if (!self->failed) {
                log(QStringLiteral("stream ended: %1").arg(QString::fromUtf8(error != nullptr ? error : "closed")));
            }
            self->failed = true;
        }
    }

    static void onParamChanged(void *data, std::uint32_t id, const spa_pod *param)
    {
        auto *self = static_cast<Stream *>(data);
        if (param == nullptr || id != SPA_PARAM_Format) {
            return;
        }
        spa_video_info_raw info{};
        if (spa_format_video_raw_parse(param, &info) < 0 || info.size.width == 0 || info.size.height == 0 ||
            info.size.width > maximumSide || info.size.height > maximumSide) {
            log(QStringLiteral("unusable stream format"));
            std::lock_guard lock(self->mutex);
            self->failed = true;
            return;
        }
        {
            std::lock_guard lock(self->mutex);
            self->format = info.format;
            self->width = int(info.size.width);
            self->height = int(info.size.height);
        }

        std::uint8_t storage[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
        const spa_pod *params[2];
        params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
        params[1] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
            SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(int(sizeof(spa_meta_region) * damageRegions), int(sizeof(spa_meta_region)),
                                     int(sizeof(spa_meta_region) * damageRegions))));
        pw_stream_update_params(self->stream, params, 2);
    }

    // Buffers go when the format changes or the producer leaves; the picture
    // kept must not outlive its memory.
    static void onRemoveBuffer(void *data, pw_buffer *buffer)
    {
        auto *self = static_cast<Stream *>(data);
        std::lock_guard lock(self->mutex);
        if (self->held == buffer) {
            self->held = nullptr;
        }
    }

    // A buffer whose damage lists no region, or that carries no picture (a
    // cursor-only update, a corrupted chunk), changes nothing.
    static bool showsChange(const spa_buffer *buffer)
    {
        if (buffer->n_datas < 1 || buffer->datas[0].chunk == nullptr) {
            return false;
        }
        const spa_chunk *chunk = buffer->datas[0].chunk;
        if (chunk->size == 0 || (chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) != 0) {
            return false;
        }
        const auto *damage = static_cast<const spa_meta *>(spa_buffer_find_meta(buffer, SPA_META_VideoDamage));
        if (damage == nullptr) {
            return true;
        }
        const spa_meta_region *region = nullptr;
        spa_meta_for_each(region, damage)
        {
            if (!spa_meta_region_is_valid(region)) {
                break;
            }
            return true;
        }
        return false;
    }

    static void onProcess(void *data)
    {
        auto *self = static_cast<Stream *>(data);
        std::lock_guard lock(self->mutex);
        // Only the newest picture matters; older ones go straight back.
        while (pw_buffer *buffer = pw_stream_dequeue_buffer(self->stream)) {
            ++self->buffers;
            if (!showsChange(buffer->buffer)) {
                pw_stream_queue_buffer(self->stream, buffer);
                continue;
            }
            if (self->held != nullptr) {
                pw_stream_queue_buffer(self->stream, self->held);
            }
            self->held = buffer;
            self->changed = true;
        }
    }

    const CapturedFrame *grab()
    {
        std::lock_guard lock(mutex);
        if (failed || held == nullptr || width <= 0 || height <= 0) {
            return nullptr;
        }
        const spa_data &plane = held->buffer->datas[0];
        if (plane.data == nullptr || plane.chunk == nullptr) {
            return nullptr;
        }
        const int rowBytes = width * 4;
        const int stride = plane.chunk->stride > 0 ? plane.chunk->stride : rowBytes;
        const std::uint64_t offset = plane.chunk->offset % std::max<std::uint32_t>(plane.maxsize, 1);
        // The producer's numbers are not trusted to stay inside the mapping.
        const std::uint64_t needed = offset + std::uint64_t(stride) * std::uint64_t(height - 1) + rowBytes;
        if (stride < rowBytes || needed > plane.maxsize) {
            return nullptr;
        }
        const auto *source = static_cast<const std::uint8_t *>(plane.data) + offset;
        pixels.resize(std::size_t(rowBytes) * std::size_t(height));
        if (isRedFirst(format)) {
            swapRedBlue(source, stride, pixels.data(), rowBytes, width, height);
        } else {
            for (int row = 0; row < height; ++row) {
                std::memcpy(pixels.data() + std::size_t(row) * rowBytes, source + std::size_t(row) * stride, rowBytes);
            }
        }
        frame = CapturedFrame{pixels.data(), width, height, rowBytes};
        return &frame;
    }
};

namespace {

const pw_stream_events streamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = &PipeWireScreenCapture::Stream::onStateChanged;
    events.param_changed = &PipeWireScreenCapture::Stream::onParamChanged;
    events.process = &PipeWireScreenCapture::Stream::onProcess;
    events.remove_buffer = &PipeWireScreenCapture::Stream::onRemoveBuffer;
    return events;
}();

} // namespace

std::unique_ptr<PipeWireScreenCapture> PipeWireScreenCapture::open(StreamTarget target,
                                                                   std::chrono::milliseconds firstFrameLimit)
{
    if (!target.remote.isValid() || target.width <= 0 || target.height <= 0 || target.width > maximumSide ||
        target.height > maximumSide) {
        return nullptr;
    }
    initialiseOnce();
    auto stream = std::make_unique<Stream>();
    stream->requestedWidth = target.width;
    stream->requestedHeight = target.height;
    stream->loop = pw_loop_new(nullptr);
    if (stream->loop != nullptr) {
        stream->useFromThisThread();
    }
    stream->context = stream->loop != nullptr ? pw_context_new(stream->loop, nullptr, 0) : nullptr;
    if (stream->context == nullptr) {
        log(QStringLiteral("no PipeWire context"));
        return nullptr;
    }
    stream->core = pw_context_connect_fd(stream->context, target.remote.release(), nullptr, 0);
    if (stream->core == nullptr) {
        log(QStringLiteral("cannot reach PipeWire through the portal's connection"));
        return nullptr;
    }
    stream->stream = pw_stream_new(stream->core, "Lumarient Display",
                                   pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                     PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (stream->stream == nullptr) {
        return nullptr;
    }
    pw_stream_add_listener(stream->stream, &stream->listener, &streamEvents, stream.get());

    // The size is the one asked for: for a virtual monitor the compositor takes
    // it from here.
    std::uint8_t storage[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
    const spa_rectangle size = SPA_RECTANGLE(std::uint32_t(target.width), std::uint32_t(target.height));
    const spa_fraction variableRate = SPA_FRACTION(0, 1);
    const spa_fraction fullRate = SPA_FRACTION(60, 1);
    const spa_pod *format = static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&variableRate, &variableRate, &fullRate), SPA_FORMAT_VIDEO_maxFramerate,
        SPA_POD_CHOICE_RANGE_Fraction(&fullRate, &variableRate, &fullRate)));
    const int connected = pw_stream_connect(
        stream->stream, PW_DIRECTION_INPUT, target.nodeID,
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), &format, 1);
    if (connected < 0) {
        log(QStringLiteral("cannot connect to stream %1").arg(target.nodeID));
        return nullptr;
    }

    const auto deadline = std::chrono::steady_clock::now() + firstFrameLimit;
    const auto hasPicture = [&stream] {
        std::lock_guard lock(stream->mutex);
        return stream->held != nullptr;
    };
    while (!hasPicture() && !stream->hasFailed()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            log(QStringLiteral("no picture from stream %1").arg(target.nodeID));
            return nullptr;
        }
        stream->iterate(int(left.count()));
    }
    if (stream->hasFailed()) {
        return nullptr;
    }
    // The reader's thread enters the loop at its first use.
    stream->handOver();
    return std::unique_ptr<PipeWireScreenCapture>(new PipeWireScreenCapture(std::move(stream)));
}

PipeWireScreenCapture::PipeWireScreenCapture(std::unique_ptr<Stream> stream) : stream_(std::move(stream))
{
}

PipeWireScreenCapture::~PipeWireScreenCapture() = default;

int PipeWireScreenCapture::pollDescriptor() const
{
    return pw_loop_get_fd(stream_->loop);
}

DisplayRect PipeWireScreenCapture::bounds() const
{
    std::lock_guard lock(stream_->mutex);
    return DisplayRect{0, 0, stream_->width, stream_->height};
}

bool PipeWireScreenCapture::contentChanged()
{
    stream_->iterate(0);
    std::lock_guard lock(stream_->mutex);
    return std::exchange(stream_->changed, false);
}

const CapturedFrame *PipeWireScreenCapture::grab()
{
    return stream_->grab();
}

std::uint64_t PipeWireScreenCapture::buffersReceived() const
{
    std::lock_guard lock(stream_->mutex);
    return stream_->buffers;
}

} // namespace lumarient::pipewire
