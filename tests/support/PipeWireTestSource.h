#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace lumarient::test {

// A video source on a PipeWire daemon of the test's own, standing in for a
// compositor's screen-cast stream: one fixed format and size, frames pushed on
// demand, each with the buffer metadata the test chooses (good or broken).
class PipeWireTestSource {
public:
    enum class Format { bgrx, rgbx };

    // Everything about one pushed buffer that a reader should not have to trust.
    struct Frame {
        std::uint8_t first = 0; // byte 0 of every pixel; bytes 1 and 2 follow as first+1, first+2
        int stride = 0;         // 0: width * 4
        std::uint32_t offset = 0;
        bool empty = false;     // chunk size 0
        bool corrupted = false; // SPA_CHUNK_FLAG_CORRUPTED
        bool noDamage = false;  // damage metadata that lists no region
    };

    PipeWireTestSource(const QString &runtimeFolder, Format format, int width, int height);
    ~PipeWireTestSource();
    PipeWireTestSource(const PipeWireTestSource &) = delete;
    PipeWireTestSource &operator=(const PipeWireTestSource &) = delete;

    // The node readers connect to; 0 when the source did not come up.
    std::uint32_t nodeID() const;
    // Queues one buffer; false when no buffer was free (nobody reads yet).
    bool push(const Frame &frame);

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace lumarient::test
