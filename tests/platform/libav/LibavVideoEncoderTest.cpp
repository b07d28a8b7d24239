#include "platform/libav/LibavVideoEncoder.h"

#include <gtest/gtest.h>

#include <vector>

using namespace lumarient;

namespace {

// A BGRA picture whose content depends on `seed`, so every frame differs.
struct Picture {
    Picture(int width, int height, int seed) : pixels(std::size_t(width * height * 4))
    {
        for (std::size_t index = 0; index < pixels.size(); ++index)
            pixels[index] = std::uint8_t(index * 7 + std::size_t(seed) * 31);
        frame = CapturedFrame{pixels.data(), width, height, width * 4};
    }
    std::vector<std::uint8_t> pixels;
    CapturedFrame frame;
};

std::unique_ptr<VideoEncoder> openSoftware(int width, int height)
{
    VideoEncoderSettings settings;
    settings.width = width;
    settings.height = height;
    settings.keyframeIntervalFrames = 30;
    return libav::LibavVideoEncoderFactory(false).open(settings);
}

TEST(LibavVideoEncoderTest, RefusesSizesH264CannotTake)
{
    for (const auto &[width, height] : std::vector<std::pair<int, int>>{{0, 64}, {64, -2}, {63, 64}, {64, 65}})
        EXPECT_EQ(openSoftware(width, height), nullptr) << width << "x" << height;
}

TEST(LibavVideoEncoderTest, KeyframesComeFirstAndOnRequestOnly)
{
    const std::unique_ptr<VideoEncoder> encoder = openSoftware(64, 48);
    ASSERT_NE(encoder, nullptr);
    EXPECT_EQ(encoder->name(), QStringLiteral("libx264"));
    EXPECT_TRUE(encoder->parameterSets().startsWith(QByteArray("\0\0\0\1", 4)));

    std::vector<bool> keyframes;
    for (int index = 0; index < 6; ++index) {
        if (index == 3)
            encoder->requestKeyframe();
        const std::optional<EncodedPacket> packet = encoder->encode(Picture(64, 48, index).frame);
        ASSERT_TRUE(packet && !packet->annexB.isEmpty()) << "frame " << index << " held back";
        keyframes.push_back(packet->isKeyframe);
    }
    EXPECT_EQ(keyframes, (std::vector<bool>{true, false, false, true, false, false}));
}

TEST(LibavVideoEncoderTest, RejectsFramesOfAnotherSizeAndEndsAtFlush)
{
    const std::unique_ptr<VideoEncoder> encoder = openSoftware(64, 48);
    ASSERT_NE(encoder, nullptr);
    EXPECT_FALSE(encoder->encode(Picture(48, 64, 0).frame));
    ASSERT_TRUE(encoder->encode(Picture(64, 48, 1).frame));
    EXPECT_FALSE(encoder->flush()) << "no frame reordering: nothing is held back";
    EXPECT_FALSE(encoder->encode(Picture(64, 48, 2).frame));
}

} // namespace
