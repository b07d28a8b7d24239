#include "StampedFrameReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace lumarient::bench {

using namespace std::chrono_literals;

StampedFrameReader::StampedFrameReader(std::uint16_t port)
{
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::connect(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    decoder_.reset(avcodec_alloc_context3(codec));
    decoder_->thread_count = 1;
    decoder_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    avcodec_open2(decoder_.get(), codec, nullptr);
    picture_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "bench-reader");
        run();
    });
}

StampedFrameReader::~StampedFrameReader()
{
    ::shutdown(socket_, SHUT_RDWR);
    thread_.join();
    ::close(socket_);
}

void StampedFrameReader::decodeArrived(const std::function<void(const AVFrame &, SteadyTime)> &picture)
{
    std::vector<std::pair<QByteArray, SteadyTime>> arrivals;
    {
        std::lock_guard lock(mutex_);
        arrivals.swap(arrivals_);
    }
    for (const auto &[annexB, arrived] : arrivals) {
        av_packet_unref(packet_.get());
        if (av_new_packet(packet_.get(), int(annexB.size())) < 0) {
            continue;
        }
        std::memcpy(packet_->data, annexB.constData(), std::size_t(annexB.size()));
        if (avcodec_send_packet(decoder_.get(), packet_.get()) < 0) {
            continue;
        }
        while (avcodec_receive_frame(decoder_.get(), picture_.get()) == 0) {
            picture(*picture_, arrived);
        }
    }
}

bool StampedFrameReader::readExactly(char *into, std::size_t size)
{
    while (size > 0) {
        const ssize_t got = ::recv(socket_, into, size, 0);
        if (got <= 0) {
            return false;
        }
        into += got;
        size -= std::size_t(got);
    }
    return true;
}

void StampedFrameReader::run()
{
    QByteArray body;
    QByteArray config;
    for (;;) {
        unsigned char header[4];
        if (!readExactly(reinterpret_cast<char *>(header), 4)) {
            return;
        }
        const std::uint32_t length =
            (std::uint32_t(header[0]) << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
        if (length == 0 || length > (64u << 20)) {
            return;
        }
        body.resize(qsizetype(length));
        if (!readExactly(body.data(), length)) {
            return;
        }
        const SteadyTime arrived = std::chrono::steady_clock::now();
        if (body[0] == 0x00) {
            config = body.mid(1);
            // Start code, SPS header byte, then the profile.
            if (config.size() > 5) {
                profile_ = std::uint8_t(config[5]);
            }
        } else if (body[0] == 0x01 && length > 5) {
            ++frames_;
            std::lock_guard lock(mutex_);
            arrivals_.push_back({config + body.mid(5), arrived});
            config.clear();
        }
    }
}

} // namespace lumarient::bench
