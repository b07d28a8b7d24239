// The app finds its encoder module where the build and the package put it, and
// the module found there encodes.

#include "app/EncoderModuleLocation.h"
#include "platform/VideoEncoderModule.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <vector>

using namespace lumarient;

namespace {

TEST(EncoderModuleLocationTest, TheModuleIsFoundBesideTheBuiltAppAndInAnInstalledPrefix)
{
    // An installation as the package lays it out, with the built module copied in.
    QTemporaryDir prefix;
    const QStringList installed = videoEncoderModuleCandidates(prefix.filePath(QStringLiteral("bin")), prefix.path());
    ASSERT_EQ(installed.size(), 2);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(installed[1]).path()));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VIDEO_ENCODER_MODULE), installed[1]));

    const QFileInfo app(QStringLiteral(LUMARIENT_EXECUTABLE));
    const struct {
        const char *layout;
        QStringList candidates;
    } cases[] = {
        {"build tree", videoEncoderModuleCandidates(app.path(), QFileInfo(app.path()).path())},
        {"installed", installed},
    };
    for (const auto &[layout, candidates] : cases) {
        VideoEncoderModule module(candidates);
        VideoEncoderSettings settings;
        settings.width = 64;
        settings.height = 48;
        testing::internal::CaptureStdout();
        const std::unique_ptr<VideoEncoder> encoder = module.open(settings);
        const std::string log = testing::internal::GetCapturedStdout();
        ASSERT_NE(encoder, nullptr) << layout << ": " << log;
        std::vector<std::uint8_t> pixels(64 * 48 * 4, 0x40);
        EXPECT_TRUE(encoder->encode(CapturedFrame{pixels.data(), 64, 48, 64 * 4})) << layout;
    }
}

} // namespace
