#pragma once

#include "platform/FileDescriptor.h"
#include "platform/ScreenCapture.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace lumarient::pipewire {

// What a screen-cast stream offers: where to read it and the size asked of it.
struct StreamTarget {
    // A connection to the PipeWire daemon (the screen-cast portal hands one out).
    FileDescriptor remote;
    std::uint32_t nodeID = 0;
    int width = 0;
    int height = 0;
};

// Reads one screen-cast stream: BGRx or BGRA as they come, RGBx and RGBA turned
// into BGRA, from shared-memory buffers. A new buffer is a change unless its
// damage says nothing changed, so a still display costs nothing. The stream's
// loop is iterated by whoever polls `pollDescriptor` (no thread of its own):
// after `open`, one thread, which need not be the one that opened it.
class PipeWireScreenCapture final : public ScreenCapture {
public:
    // Nothing when the stream does not negotiate or no picture arrives within `firstFrameLimit`.
    static std::unique_ptr<PipeWireScreenCapture> open(StreamTarget target, std::chrono::milliseconds firstFrameLimit);
    ~PipeWireScreenCapture() override;
    PipeWireScreenCapture(const PipeWireScreenCapture &) = delete;
    PipeWireScreenCapture &operator=(const PipeWireScreenCapture &) = delete;

    int pollDescriptor() const override;
    // The stream's own coordinates: a compositor does not say where its monitors sit.
    DisplayRect bounds() const override;
    bool contentChanged() override;
    const CapturedFrame *grab() override;

    // Buffers received since opening, with or without a change (for tests and benchmarks).
    std::uint64_t buffersReceived() const;

    struct Stream;

private:
    explicit PipeWireScreenCapture(std::unique_ptr<Stream> stream);
    std::unique_ptr<Stream> stream_;
};

// Copies `rows` rows of 32-bit pixels and swaps red and blue on the way (RGBx -> BGRx).
void swapRedBlue(const std::uint8_t *source, int sourceStride, std::uint8_t *target, int targetStride, int width,
                 int rows);

} // namespace lumarient::pipewire
