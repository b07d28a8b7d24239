#pragma once

#include "BenchMeasures.h"
#include "platform/libav/LibavHandles.h"

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

struct AVFrame;

namespace lumarient::bench {

// The phone's end of a second-display stream, for benchmarks: a thread reads the
// packets and stamps each frame packet's last byte. Frames are decoded only when
// the caller takes the figures, so decoding neither delays a stamp nor takes the
// CPU the streamer is measured on.
class StampedFrameReader {
public:
    explicit StampedFrameReader(std::uint16_t port);
    ~StampedFrameReader();
    StampedFrameReader(const StampedFrameReader &) = delete;
    StampedFrameReader &operator=(const StampedFrameReader &) = delete;

    // Decodes the frames that arrived since the last call, in order, and hands
    // each decoded picture on with the time its packet arrived.
    void decodeArrived(const std::function<void(const AVFrame &, SteadyTime)> &picture);

    std::uint64_t framesArrived() const { return frames_; }
    // The H.264 profile the stream declares (100 is High).
    int profile() const { return profile_; }

private:
    bool readExactly(char *into, std::size_t size);
    void run();

    int socket_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::pair<QByteArray, SteadyTime>> arrivals_;
    CodecContextPtr decoder_;
    FramePtr picture_;
    PacketPtr packet_;
    std::atomic<std::uint64_t> frames_{0};
    std::atomic<int> profile_{0};
};

} // namespace lumarient::bench
