#include "platform/pipewire/PipeWireScreenCapture.h"
#include "support/HeadlessMutter.h"
#include "support/PipeWireTestSource.h"

#include <gtest/gtest.h>

#include <QSize>

#include <array>
#include <cstring>
#include <future>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

using namespace lumarient;
using namespace lumarient::test;
using namespace std::chrono_literals;

namespace {

constexpr int width = 64;
constexpr int height = 32;
using Frame = PipeWireTestSource::Frame;

// The stream reader against a source whose buffers the test makes, good and broken.
class PipeWireCaptureTest : public HeadlessMutterSuite {
protected:
    FileDescriptor connectToDaemon() const
    {
        FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = (mutter_->runtimeFolder() + QStringLiteral("/pipewire-0")).toLocal8Bit();
        std::strncpy(address.sun_path, path.constData(), sizeof(address.sun_path) - 1);
        if (::connect(fd.get(), reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
            fd.reset();
        }
        return fd;
    }

    // Opens a reader on `source`, which keeps offering `first` until the reader has a picture.
    std::unique_ptr<pipewire::PipeWireScreenCapture> open(PipeWireTestSource &source, const Frame &first)
    {
        pipewire::StreamTarget target{connectToDaemon(), source.nodeID(), width, height};
        if (target.nodeID == 0) {
            return nullptr;
        }
        auto opening = std::async(std::launch::async, [&target] {
            return pipewire::PipeWireScreenCapture::open(std::move(target), scaled(10s));
        });
        while (opening.wait_for(30ms) != std::future_status::ready) {
            source.push(first);
        }
        std::unique_ptr<pipewire::PipeWireScreenCapture> capture = opening.get();
        if (capture) {
            capture->contentChanged();
        }
        return capture;
    }

    // Pushes `frame` and waits on the reader's descriptor, as the streamer does,
    // until the reader has taken it; whether it saw a change.
    static bool pushAndRead(PipeWireTestSource &source, pipewire::PipeWireScreenCapture &capture, const Frame &frame)
    {
        const std::uint64_t before = capture.buffersReceived();
        bool changed = false;
        const auto deadline = std::chrono::steady_clock::now() + scaled(5s);
        bool pushed = false;
        while (capture.buffersReceived() == before && std::chrono::steady_clock::now() < deadline) {
            pushed = pushed || source.push(frame);
            pollfd descriptor{capture.pollDescriptor(), POLLIN, 0};
            // Once the buffer is out, only the descriptor may wake the reader.
            const int ready = ::poll(&descriptor, 1, pushed ? int(scaled(5s).count()) : 20);
            EXPECT_TRUE(!pushed || ready > 0) << "a new buffer did not wake the descriptor";
            changed = capture.contentChanged() || changed;
        }
        EXPECT_GT(capture.buffersReceived(), before) << "the buffer never arrived";
        return changed;
    }

    static std::array<std::uint8_t, 3> firstPixel(const CapturedFrame *frame)
    {
        return {frame->bgra[0], frame->bgra[1], frame->bgra[2]};
    }
};

} // namespace

TEST_F(PipeWireCaptureTest, ReadsBlueFirstPicturesWhateverOrderTheSourceUses)
{
    struct Case {
        PipeWireTestSource::Format format;
        std::array<std::uint8_t, 3> expected;
    };
    const Case cases[] = {
        {PipeWireTestSource::Format::bgrx, {10, 11, 12}},
        {PipeWireTestSource::Format::rgbx, {12, 11, 10}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.format));
        PipeWireTestSource source(mutter_->runtimeFolder(), c.format, width, height);
        std::unique_ptr<pipewire::PipeWireScreenCapture> capture = open(source, Frame{10});
        ASSERT_TRUE(capture);
        const CapturedFrame *frame = capture->grab();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(QSize(frame->width, frame->height), QSize(width, height));
        EXPECT_EQ(firstPixel(frame), c.expected);
    }
}

TEST_F(PipeWireCaptureTest, BuffersThatShowNothingNewAreNoChangeAndBrokenOnesAreNotRead)
{
    PipeWireTestSource source(mutter_->runtimeFolder(), PipeWireTestSource::Format::bgrx, width, height);
    std::unique_ptr<pipewire::PipeWireScreenCapture> capture = open(source, Frame{10});
    ASSERT_TRUE(capture);

    struct Case {
        const char *what;
        Frame frame;
        bool changed;
        bool readable;
    };
    const Case cases[] = {
        {"damage listing no region", Frame{20, 0, 0, false, false, true}, false, true},
        {"no picture (cursor only)", Frame{21, 0, 0, true, false, false}, false, true},
        {"corrupted", Frame{22, 0, 0, false, true, false}, false, true},
        {"a new picture", Frame{30, 0, 0, false, false, false}, true, true},
        {"rows beyond the buffer", Frame{40, width * 4 * 3, 0, false, false, false}, true, false},
        {"start beyond the buffer", Frame{41, 0, width * 4 * height * 2 - 4, false, false, false}, true, false},
        {"rows shorter than a row", Frame{42, 4, 0, false, false, false}, true, false},
        {"a good picture again", Frame{50, 0, 0, false, false, false}, true, true},
    };
    std::uint8_t shown = 10;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(pushAndRead(source, *capture, c.frame), c.changed);
        const CapturedFrame *frame = capture->grab();
        if (!c.readable) {
            EXPECT_EQ(frame, nullptr);
            continue;
        }
        ASSERT_NE(frame, nullptr);
        if (c.changed) {
            shown = c.frame.first;
        }
        EXPECT_EQ(frame->bgra[0], shown) << "an unchanged buffer leaves the picture as it was";
    }
}
