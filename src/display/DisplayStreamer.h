#pragma once

#include "display/DisplayWire.h"
#include "platform/PointerDevice.h"
#include "platform/ScreenCapture.h"
#include "platform/VideoEncoder.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace lumarient {

class VirtualDisplay;

// Turns one virtual display into a live H.264 stream for the phone's display
// receiver: the phone connects to 127.0.0.1:38018 (reversed through adb), gets a
// config packet, frame packets and cursor packets, and sends touches back, which
// become left-button events on the display. Over Wi-Fi the phone may offer a UDP
// path for the video. Capture, encoding and all socket work run on one worker
// loop ("lum-display"); the public operations are called from one thread at a
// time (starting may happen on a background thread, stopping on another).
class DisplayStreamer {
public:
    struct Platform {
        ScreenCaptureFactory *captures = nullptr;
        VideoEncoderFactory *encoders = nullptr;
        // Called on the worker thread: the pointer it reads and posts events to.
        std::function<std::unique_ptr<PointerDevice>()> makePointer;
        // Monotonic seconds; the steady clock when not set.
        std::function<double()> clock;
        std::uint16_t port = DisplayWire::tcpPort;
    };

    // Figures for benchmarks and diagnostics.
    struct Statistics {
        std::atomic<std::uint64_t> framesCaptured{0};
        std::atomic<std::uint64_t> framesEncoded{0};
        std::atomic<std::uint64_t> framesDropped{0};
        std::atomic<std::uint64_t> keyframes{0};
        std::atomic<std::uint64_t> cursorPackets{0};
    };

    DisplayStreamer(std::shared_ptr<VirtualDisplay> display, bool overWifi, Platform platform);
    ~DisplayStreamer();
    DisplayStreamer(const DisplayStreamer &) = delete;
    DisplayStreamer &operator=(const DisplayStreamer &) = delete;

    // Binds the loopback listener and starts the worker; throws LumarientError
    // when the port cannot be had.
    void startListener();
    // Starts capture and encoding; throws LumarientError when the display cannot
    // be captured. Capture runs when this returns.
    void startCapture();
    // Ends everything; the streamer is not restarted afterwards.
    void stop();

    const Statistics &statistics() const;
    QString encoderName() const;
    // Called on the worker for every frame packet whose last byte reached the
    // socket. Set before startListener.
    void setFrameWrittenObserver(std::function<void(std::uint32_t, double, double)> observer);

private:
    struct Worker;
    std::unique_ptr<Worker> worker_;
};

} // namespace lumarient
