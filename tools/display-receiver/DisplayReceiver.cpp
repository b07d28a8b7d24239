#include "DisplayReceiver.h"

#include "PhoneWire.h"
#include "display/DisplayWire.h"
#include "platform/libav/LibavHandles.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lumarient::phoneside {

using namespace lumarient::DisplayWire;

int ReceiverRecord::count(ReceivedPacket::Kind kind) const
{
    int total = 0;
    for (const ReceivedPacket &packet : packets) {
        total += packet.kind == kind ? 1 : 0;
    }
    return total;
}

std::vector<std::uint32_t> ReceiverRecord::frameIDs() const
{
    std::vector<std::uint32_t> ids;
    for (const ReceivedPacket &packet : packets) {
        if (packet.kind == ReceivedPacket::Kind::frame || packet.kind == ReceivedPacket::Kind::udpFrame) {
            ids.push_back(packet.frameID);
        }
    }
    return ids;
}

bool containsIdr(const QByteArray &annexB)
{
    for (const QByteArray &unit : nalUnits(annexB)) {
        if ((static_cast<unsigned char>(unit[0]) & 0x1F) == 5) {
            return true;
        }
    }
    return false;
}

struct DisplayReceiver::Decoder {
    CodecContextPtr context;
    PacketPtr packet{av_packet_alloc()};
    FramePtr frame{av_frame_alloc()};
    ScaleContextPtr scale;
    int scaleWidth = 0;
    int scaleHeight = 0;

    Decoder()
    {
        const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        context.reset(avcodec_alloc_context3(codec));
        context->flags |= AV_CODEC_FLAG_LOW_DELAY;
        context->thread_count = 1;
        avcodec_open2(context.get(), codec, nullptr);
    }

    QImage toImage(const AVFrame *decoded)
    {
        if (scale == nullptr || scaleWidth != decoded->width || scaleHeight != decoded->height) {
            scale.reset(sws_getContext(decoded->width, decoded->height, AVPixelFormat(decoded->format), decoded->width,
                                       decoded->height, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr));
            const int *coefficients = sws_getCoefficients(SWS_CS_ITU601);
            sws_setColorspaceDetails(scale.get(), coefficients, 0, coefficients, 1, 0, 1 << 16, 1 << 16);
            scaleWidth = decoded->width;
            scaleHeight = decoded->height;
        }
        QImage image(decoded->width, decoded->height, QImage::Format_RGB32);
        std::uint8_t *planes[1] = {image.bits()};
        const int strides[1] = {int(image.bytesPerLine())};
        sws_scale(scale.get(), decoded->data, decoded->linesize, 0, decoded->height, planes, strides);
        return image;
    }
};

DisplayReceiver::DisplayReceiver(Options options) : options_(std::move(options)), decoder_(std::make_unique<Decoder>())
{
    av_log_set_level(AV_LOG_ERROR);
    [[maybe_unused]] const int made = ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK);
}

DisplayReceiver::~DisplayReceiver()
{
    disconnect();
    ::close(wake_[0]);
    ::close(wake_[1]);
}

bool DisplayReceiver::connect()
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
    ::inet_pton(AF_INET, options_.host.toUtf8().constData(), &address.sin_addr);
    const auto deadline = std::chrono::steady_clock::now() + options_.connectTimeLimit;
    while (true) {
        const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (options_.receiveBufferBytes > 0) {
            ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &options_.receiveBufferBytes, sizeof(int));
        }
        if (::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            socket_ = socket;
            break;
        }
        ::close(socket);
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    {
        std::lock_guard lock(mutex_);
        record_.connected = true;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

void DisplayReceiver::disconnect()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    [[maybe_unused]] const auto written = ::write(wake_[1], "x", 1);
    if (thread_.joinable()) {
        thread_.join();
    }
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
    if (udpSocket_ >= 0) {
        ::close(udpSocket_);
        udpSocket_ = -1;
    }
}

void DisplayReceiver::sendRaw(const QByteArray &bytes)
{
    std::lock_guard lock(sendMutex_);
    if (socket_ >= 0) {
        [[maybe_unused]] const auto sent = ::send(socket_, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL);
    }
}

void DisplayReceiver::sendMessage(const QByteArray &body)
{
    sendRaw(framed(body));
}
void DisplayReceiver::requestKeyframe()
{
    sendMessage(QByteArray(1, 'k'));
}
void DisplayReceiver::touch(int action, float x, float y)
{
    sendMessage(touchBody(action, x, y));
}
void DisplayReceiver::confirmUdp()
{
    sendMessage(QByteArray(1, 'U'));
}

std::uint16_t DisplayReceiver::offerUdp(const QString &advertisedHost)
{
    if (udpSocket_ < 0) {
        udpSocket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const int buffer = 4 * 1024 * 1024;
        ::setsockopt(udpSocket_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(udpSocket_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        [[maybe_unused]] const auto woke = ::write(wake_[1], "u", 1);
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(udpSocket_, reinterpret_cast<sockaddr *>(&bound), &length);
    const std::uint16_t port = ntohs(bound.sin_port);
    sendMessage(udpReadyBody(port, advertisedHost));
    return port;
}

void DisplayReceiver::closeUdp()
{
    std::lock_guard lock(mutex_);
    udpClosing_ = true;
    [[maybe_unused]] const auto woke = ::write(wake_[1], "c", 1);
}

void DisplayReceiver::setStalled(bool stalled)
{
    {
        std::lock_guard lock(mutex_);
        stalled_ = stalled;
    }
    [[maybe_unused]] const auto written = ::write(wake_[1], "s", 1);
}

ReceiverRecord DisplayReceiver::record() const
{
    std::lock_guard lock(mutex_);
    return record_;
}

bool DisplayReceiver::waitFor(const std::function<bool(const ReceiverRecord &)> &condition,
                              std::chrono::milliseconds timeLimit) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeLimit, [&] { return condition(record_); });
}

void DisplayReceiver::notifyChange()
{
    changed_.notify_all();
    if (onChange) {
        onChange(record());
    }
}

void DisplayReceiver::run()
{
    PacketReader reader;
    char buffer[65536];
    while (true) {
        bool stalled = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            stalled = stalled_;
            if (udpClosing_ && udpSocket_ >= 0) {
                ::close(udpSocket_);
                udpSocket_ = -1;
            }
        }
        pollfd fds[3] = {{wake_[0], POLLIN, 0}, {stalled ? -1 : socket_, POLLIN, 0}, {udpSocket_, POLLIN, 0}};
        ::poll(fds, 3, 200);
        if (fds[0].revents & POLLIN) {
            char drained[64];
            while (::read(wake_[0], drained, sizeof drained) > 0) {
            }
        }
        if (fds[2].revents & POLLIN) {
            while (true) {
                const ssize_t count = ::recv(udpSocket_, buffer, sizeof buffer, 0);
                if (count < 0) {
                    break;
                }
                handleDatagram(QByteArray(buffer, count));
            }
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t count = ::recv(socket_, buffer, sizeof buffer, 0);
            if (count <= 0) {
                std::lock_guard lock(mutex_);
                record_.connected = false;
                record_.closedByComputer = true;
                stopping_ = true;
                changed_.notify_all();
                return;
            }
            reader.append(buffer, std::size_t(count));
            while (const std::optional<QByteArray> body = reader.next()) {
                handlePacket(*body);
            }
            if (reader.invalid()) {
                std::lock_guard lock(mutex_);
                record_.packets.push_back({ReceivedPacket::Kind::malformed});
            }
        }
    }
}

void DisplayReceiver::handlePacket(const QByteArray &body)
{
    ReceivedPacket packet;
    packet.size = int(body.size());
    QByteArray video;
    switch (body[0]) {
    case configPacket:
        packet.kind = ReceivedPacket::Kind::config;
        // A decoder takes parameter sets together with the picture that uses them.
        pendingConfig_ = body.mid(1);
        break;
    case framePacket:
        if (body.size() < 5) {
            break;
        }
        packet.kind = ReceivedPacket::Kind::frame;
        packet.frameID = readUInt32(body.constData() + 1);
        video = body.mid(5);
        packet.isKeyframe = containsIdr(video);
        break;
    case cursorPacket:
        if (body.size() < 9) {
            break;
        }
        packet.kind = ReceivedPacket::Kind::cursor;
        packet.x = readFloat(body.constData() + 1);
        packet.y = readFloat(body.constData() + 5);
        break;
    default:
        break;
    }
    {
        std::lock_guard lock(mutex_);
        record_.packets.push_back(packet);
    }
    if (!video.isEmpty()) {
        decode(video);
    }
    notifyChange();
}

void DisplayReceiver::handleDatagram(const QByteArray &datagram)
{
    const std::optional<UdpChunkHeader> header = parseUdpChunkHeader(datagram);
    {
        std::lock_guard lock(mutex_);
        ++record_.udpDatagrams;
    }
    if (!header) {
        return;
    }
    if (header->frameID != udpFrame_ || int(udpChunks_.size()) != header->count) {
        udpFrame_ = header->frameID;
        udpChunks_.assign(header->count, QByteArray());
        udpChunksSeen_ = 0;
    }
    if (udpChunks_[header->index].isEmpty()) {
        udpChunks_[header->index] = datagram.mid(udpHeaderSize);
        ++udpChunksSeen_;
    }
    if (udpChunksSeen_ != header->count) {
        return;
    }
    QByteArray video;
    for (const QByteArray &chunk : udpChunks_) {
        video.append(chunk);
    }
    udpChunks_.clear();
    {
        std::lock_guard lock(mutex_);
        record_.packets.push_back(
            {ReceivedPacket::Kind::udpFrame, header->frameID, header->isKeyframe, int(video.size()), 0, 0});
    }
    decode(video);
    notifyChange();
}

void DisplayReceiver::decode(const QByteArray &data)
{
    const QByteArray annexB = pendingConfig_ + data;
    pendingConfig_.clear();
    AVPacket *packet = decoder_->packet.get();
    if (av_new_packet(packet, int(annexB.size())) < 0) {
        return;
    }
    std::memcpy(packet->data, annexB.constData(), std::size_t(annexB.size()));
    const int sent = avcodec_send_packet(decoder_->context.get(), packet);
    av_packet_unref(packet);
    int decoded = 0;
    QImage picture;
    while (sent >= 0 && avcodec_receive_frame(decoder_->context.get(), decoder_->frame.get()) == 0) {
        ++decoded;
        picture = decoder_->toImage(decoder_->frame.get());
        av_frame_unref(decoder_->frame.get());
    }
    std::lock_guard lock(mutex_);
    if (sent < 0 || (decoder_->frame->decode_error_flags != 0)) {
        ++record_.decodeErrors;
    }
    record_.decodedFrames += decoded;
    if (!picture.isNull()) {
        record_.lastPicture = picture;
    }
}

} // namespace lumarient::phoneside
