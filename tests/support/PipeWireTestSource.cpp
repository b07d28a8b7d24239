#include "support/PipeWireTestSource.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <chrono>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace lumarient::test {

struct PipeWireTestSource::State {
    int width = 0;
    int height = 0;
    pw_thread_loop *loop = nullptr;
    pw_context *context = nullptr;
    pw_core *core = nullptr;
    pw_stream *stream = nullptr;
    spa_hook listener{};

    static void onParamChanged(void *data, std::uint32_t id, const spa_pod *param)
    {
        auto *self = static_cast<State *>(data);
        if (param == nullptr || id != SPA_PARAM_Format) {
            return;
        }
        const int stride = self->width * 4;
        // Room for a stride twice the width, so broken strides can be sent.
        const int size = stride * 2 * self->height;
        std::uint8_t storage[512];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
        const spa_pod *params[2];
        params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size,
            SPA_POD_Int(size), SPA_PARAM_BUFFERS_stride, SPA_POD_Int(stride)));
        params[1] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_VideoDamage),
            SPA_PARAM_META_size, SPA_POD_Int(int(sizeof(spa_meta_region) * 4))));
        pw_stream_update_params(self->stream, params, 2);
    }
};

namespace {

const pw_stream_events sourceEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.param_changed = &PipeWireTestSource::State::onParamChanged;
    return events;
}();

int connectTo(const QString &socketPath)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.toLocal8Bit().constData(), sizeof(address.sun_path) - 1);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

PipeWireTestSource::PipeWireTestSource(const QString &runtimeFolder, Format format, int width, int height)
    : state_(std::make_unique<State>())
{
    pw_init(nullptr, nullptr);
    state_->width = width;
    state_->height = height;
    state_->loop = pw_thread_loop_new("pw-test-source", nullptr);
    state_->context = pw_context_new(pw_thread_loop_get_loop(state_->loop), nullptr, 0);
    const int fd = connectTo(runtimeFolder + QStringLiteral("/pipewire-0"));
    if (fd < 0 || state_->context == nullptr) {
        return;
    }
    pw_thread_loop_start(state_->loop);
    pw_thread_loop_lock(state_->loop);
    state_->core = pw_context_connect_fd(state_->context, fd, nullptr, 0);
    if (state_->core != nullptr) {
        state_->stream =
            pw_stream_new(state_->core, "test-source", pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", nullptr));
        pw_stream_add_listener(state_->stream, &state_->listener, &sourceEvents, state_.get());
        std::uint8_t storage[512];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
        const spa_rectangle size = SPA_RECTANGLE(std::uint32_t(width), std::uint32_t(height));
        const spa_fraction rate = SPA_FRACTION(0, 1);
        const spa_pod *param = static_cast<const spa_pod *>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
            SPA_FORMAT_VIDEO_format, SPA_POD_Id(format == Format::rgbx ? SPA_VIDEO_FORMAT_RGBx : SPA_VIDEO_FORMAT_BGRx),
            SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
        pw_stream_connect(state_->stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                          static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), &param, 1);
    }
    pw_thread_loop_unlock(state_->loop);
}

PipeWireTestSource::~PipeWireTestSource()
{
    if (state_->loop == nullptr) {
        return;
    }
    pw_thread_loop_stop(state_->loop);
    if (state_->stream != nullptr) {
        spa_hook_remove(&state_->listener);
        pw_stream_destroy(state_->stream);
    }
    if (state_->core != nullptr) {
        pw_core_disconnect(state_->core);
    }
    if (state_->context != nullptr) {
        pw_context_destroy(state_->context);
    }
    pw_thread_loop_destroy(state_->loop);
}

std::uint32_t PipeWireTestSource::nodeID() const
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (state_->stream != nullptr && std::chrono::steady_clock::now() < deadline) {
        pw_thread_loop_lock(state_->loop);
        const std::uint32_t id = pw_stream_get_node_id(state_->stream);
        pw_thread_loop_unlock(state_->loop);
        if (id != SPA_ID_INVALID) {
            return id;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

bool PipeWireTestSource::push(const Frame &frame)
{
    if (state_->stream == nullptr) {
        return false;
    }
    pw_thread_loop_lock(state_->loop);
    pw_buffer *buffer = pw_stream_dequeue_buffer(state_->stream);
    if (buffer == nullptr) {
        pw_thread_loop_unlock(state_->loop);
        return false;
    }
    spa_data &plane = buffer->buffer->datas[0];
    const int stride = frame.stride > 0 ? frame.stride : state_->width * 4;
    if (plane.data != nullptr) {
        auto *pixels = static_cast<std::uint8_t *>(plane.data);
        for (std::uint32_t at = 0; at + 3 < plane.maxsize; at += 4) {
            pixels[at] = frame.first;
            pixels[at + 1] = std::uint8_t(frame.first + 1);
            pixels[at + 2] = std::uint8_t(frame.first + 2);
            pixels[at + 3] = 0xFF;
        }
    }
    plane.chunk->offset = frame.offset;
    plane.chunk->stride = stride;
    plane.chunk->size = frame.empty ? 0 : std::uint32_t(stride * state_->height);
    plane.chunk->flags = frame.corrupted ? SPA_CHUNK_FLAG_CORRUPTED : SPA_CHUNK_FLAG_NONE;
    if (auto *damage = static_cast<spa_meta *>(spa_buffer_find_meta(buffer->buffer, SPA_META_VideoDamage))) {
        auto *regions = static_cast<spa_meta_region *>(damage->data);
        const std::size_t count = damage->size / sizeof(spa_meta_region);
        for (std::size_t index = 0; index < count; ++index) {
            regions[index].region = SPA_REGION(0, 0, 0, 0);
        }
        if (!frame.noDamage && count > 0) {
            regions[0].region = SPA_REGION(0, 0, std::uint32_t(state_->width), std::uint32_t(state_->height));
        }
    }
    pw_stream_queue_buffer(state_->stream, buffer);
    pw_stream_trigger_process(state_->stream);
    pw_thread_loop_unlock(state_->loop);
    return true;
}

} // namespace lumarient::test
