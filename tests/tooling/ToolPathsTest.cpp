#include "tooling/ToolPaths.h"
#include "platform/UserDefaults.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace lumarient;
using namespace lumarient::test;

namespace {

void writeTool(const QString &path, bool executable)
{
    ASSERT_TRUE(writeFile(path, "#!/bin/sh\n", executable));
}

constexpr bool executable = true;
constexpr bool plain = false;

// Each case gets its own settings, installation prefix and PATH.
class ToolPathsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedPath_ = qgetenv("PATH");
        qputenv("PATH", pathDir_.path().toLocal8Bit());
    }
    void TearDown() override { qputenv("PATH", savedPath_); }

    QString onPath(const QString &tool) { return pathDir_.filePath(tool); }
    QString inPrefix(const QString &relative) { return prefix_.filePath(relative); }

    QTemporaryDir settingsDir_;
    QTemporaryDir prefix_;
    QTemporaryDir pathDir_;
    UserDefaults defaults_{settingsDir_.filePath(QStringLiteral("Lumarient.conf"))};
    ToolPaths paths_{defaults_, prefix_.path()};
    QByteArray savedPath_;
};

} // namespace

TEST_F(ToolPathsTest, FallbackIsTheToolOnPathElseUsrBin)
{
    EXPECT_EQ(paths_.adb(), QStringLiteral("/usr/bin/adb"));
    EXPECT_EQ(paths_.scrcpy(), QStringLiteral("/usr/bin/scrcpy"));
    defaults_.setValue(QStringLiteral("adbPath"), QString());
    EXPECT_EQ(paths_.adb(), QStringLiteral("/usr/bin/adb"));
    writeTool(onPath(QStringLiteral("adb")), executable);
    EXPECT_EQ(paths_.adb(), onPath(QStringLiteral("adb")));
}

TEST_F(ToolPathsTest, InstalledCopyWinsOverPathButOnlyWhenExecutable)
{
    writeTool(onPath(QStringLiteral("scrcpy")), executable);
    writeTool(inPrefix(QStringLiteral("libexec/lumarient/scrcpy")), plain);
    EXPECT_EQ(paths_.scrcpy(), onPath(QStringLiteral("scrcpy")));
    writeTool(inPrefix(QStringLiteral("libexec/lumarient/scrcpy")), executable);
    EXPECT_EQ(paths_.scrcpy(), inPrefix(QStringLiteral("libexec/lumarient/scrcpy")));
}

TEST_F(ToolPathsTest, OverrideIsUsedUncheckedAndReadAtEveryUse)
{
    writeTool(inPrefix(QStringLiteral("libexec/lumarient/adb")), executable);
    defaults_.setValue(QStringLiteral("adbPath"), QStringLiteral("/opt/android/adb-that-does-not-exist"));
    EXPECT_EQ(paths_.adb(), QStringLiteral("/opt/android/adb-that-does-not-exist"));
    defaults_.setValue(QStringLiteral("adbPath"), QStringLiteral("/elsewhere/adb"));
    EXPECT_EQ(paths_.adb(), QStringLiteral("/elsewhere/adb"));
    defaults_.remove(QStringLiteral("adbPath"));
    EXPECT_EQ(paths_.adb(), inPrefix(QStringLiteral("libexec/lumarient/adb")));
}

TEST_F(ToolPathsTest, OverrideEqualToFallbackBehavesLikeNone)
{
    defaults_.setValue(QStringLiteral("adbPath"), QStringLiteral("/usr/bin/adb"));
    EXPECT_EQ(paths_.adb(), QStringLiteral("/usr/bin/adb"));
    writeTool(inPrefix(QStringLiteral("libexec/lumarient/adb")), executable);
    EXPECT_EQ(paths_.adb(), inPrefix(QStringLiteral("libexec/lumarient/adb")));

    writeTool(onPath(QStringLiteral("adb")), executable);
    defaults_.setValue(QStringLiteral("adbPath"), onPath(QStringLiteral("adb")));
    EXPECT_EQ(paths_.adb(), inPrefix(QStringLiteral("libexec/lumarient/adb")));
}

TEST_F(ToolPathsTest, ServerFileNeedsOnlyToExist)
{
    EXPECT_EQ(paths_.scrcpyServerPath(), std::nullopt);
    writeTool(inPrefix(QStringLiteral("share/lumarient/scrcpy-server")), plain);
    EXPECT_EQ(paths_.scrcpyServerPath(), inPrefix(QStringLiteral("share/lumarient/scrcpy-server")));
}
