#include "platform/VideoEncoderModule.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <vector>

using namespace lumarient;

namespace {

VideoEncoderSettings smallPicture()
{
    VideoEncoderSettings settings;
    settings.width = 64;
    settings.height = 48;
    return settings;
}

// Opens one encoder through `module` and returns what it logged.
std::string openAndLog(VideoEncoderModule &module, std::unique_ptr<VideoEncoder> &encoder)
{
    testing::internal::CaptureStdout();
    encoder = module.open(smallPicture());
    return testing::internal::GetCapturedStdout();
}

TEST(VideoEncoderModuleTest, TheBuiltModuleIsLoadedAtFirstUseAndEncodes)
{
    VideoEncoderModule module(
        {QStringLiteral("/nonexistent/lumarient-video-encoder.so"), QStringLiteral(VIDEO_ENCODER_MODULE)});
    EXPECT_FALSE(module.isLoaded()) << "nothing is loaded before the first encoder is wanted";
    std::unique_ptr<VideoEncoder> encoder;
    const std::string log = openAndLog(module, encoder);
    ASSERT_NE(encoder, nullptr) << log;
    EXPECT_TRUE(module.isLoaded());
    EXPECT_NE(log.find("[VideoEncoder] loaded the H.264 encoder module " VIDEO_ENCODER_MODULE), std::string::npos)
        << log;

    std::vector<std::uint8_t> pixels(64 * 48 * 4, 0x80);
    const std::optional<EncodedPacket> packet = encoder->encode(CapturedFrame{pixels.data(), 64, 48, 64 * 4});
    ASSERT_TRUE(packet);
    EXPECT_TRUE(packet->isKeyframe);
    EXPECT_NE(module.open(smallPicture()), nullptr) << "a second display started again reuses the module";
}

TEST(VideoEncoderModuleTest, AnUnusableModuleGivesNoEncoderAndSaysWhy)
{
    QTemporaryDir folder;
    const QString notALibrary = folder.filePath(QStringLiteral("text.so"));
    QFile text(notALibrary);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("not an ELF file\n") > 0);
    text.close();
    const struct {
        const char *name;
        QString path;
        const char *why;
    } cases[] = {
        {"missing", folder.filePath(QStringLiteral("absent.so")), "No H.264 encoder module at"},
        {"not a library", notALibrary, "Could not load the H.264 encoder module"},
        {"another contract", QStringLiteral(ENCODER_MODULE_OF_OTHER_CONTRACT), "not an H.264 encoder module"},
        {"no factory", QStringLiteral(ENCODER_MODULE_WITHOUT_FACTORY), "made no encoder"},
    };
    for (const auto &[name, path, why] : cases) {
        VideoEncoderModule module({path});
        std::unique_ptr<VideoEncoder> encoder;
        const std::string log = openAndLog(module, encoder);
        EXPECT_EQ(encoder, nullptr) << name;
        EXPECT_FALSE(module.isLoaded()) << name;
        EXPECT_EQ(log.rfind("[VideoEncoder] ", 0), 0u) << name << ": " << log;
        EXPECT_NE(log.find(why), std::string::npos) << name << ": " << log;
        EXPECT_NE(log.find("the second display gets no picture"), std::string::npos) << name << ": " << log;
    }
}

TEST(VideoEncoderModuleTest, AModuleInstalledAfterAFailedStartIsFoundAtTheNext)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("lumarient-video-encoder.so"));
    VideoEncoderModule module({path});
    std::unique_ptr<VideoEncoder> encoder;
    openAndLog(module, encoder);
    ASSERT_EQ(encoder, nullptr);
    ASSERT_TRUE(QFile::copy(QStringLiteral(VIDEO_ENCODER_MODULE), path));
    const std::string log = openAndLog(module, encoder);
    EXPECT_NE(encoder, nullptr) << log;
}

} // namespace
