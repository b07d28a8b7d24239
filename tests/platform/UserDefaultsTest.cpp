#include "platform/UserDefaults.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace lumarient;
using lumarient::test::writeFile;

namespace {

ino_t inodeOf(const QString &path)
{
    struct stat info {};
    ::stat(path.toLocal8Bit().constData(), &info);
    return info.st_ino;
}

} // namespace

TEST(UserDefaults, ValuesSurviveANewInstance)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("nested/Lumarient.conf"));
    {
        UserDefaults defaults(path);
        EXPECT_TRUE(defaults.setValue(QStringLiteral("adbPath"), QStringLiteral("/opt/adb")));
        EXPECT_TRUE(defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true));
        EXPECT_TRUE(defaults.setValue(QStringLiteral("deviceConfigs"), QByteArray("[{\"a\":1}]\n\xff")));
        EXPECT_TRUE(defaults.setValue(QStringLiteral("freeformWasOffBefore-192.168.1.2:5555"), QStringLiteral("1")));
    }
    UserDefaults reread(path);
    EXPECT_EQ(reread.string(QStringLiteral("adbPath")), QStringLiteral("/opt/adb"));
    EXPECT_TRUE(reread.value(QStringLiteral("hasCompletedOnboarding")).toBool());
    EXPECT_EQ(reread.value(QStringLiteral("deviceConfigs")).toByteArray(), QByteArray("[{\"a\":1}]\n\xff"));
    EXPECT_EQ(reread.string(QStringLiteral("freeformWasOffBefore-192.168.1.2:5555")), QStringLiteral("1"));
    EXPECT_TRUE(reread.string(QStringLiteral("missing")).isNull());
}

TEST(UserDefaults, StringArraysOfAnyLengthRoundTrip)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Lumarient.conf"));
    const QList<QStringList> arrays{{}, {QStringLiteral("SM_G973F")}, {QStringLiteral("a, b"), QStringLiteral("c")}};
    for (const QStringList &array : arrays) {
        UserDefaults(path).setValue(QStringLiteral("pendingOverlayCleanups"), array);
        EXPECT_EQ(UserDefaults(path).stringArray(QStringLiteral("pendingOverlayCleanups")), array);
    }
}

TEST(UserDefaults, WritesReplaceTheFileInsteadOfRewritingIt)
{
    // A reader (or a crash) never sees a half-written file: each write lands in a
    // new file that is renamed over the old one.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Lumarient.conf"));
    UserDefaults defaults(path);
    defaults.setValue(QStringLiteral("a"), 1);
    const ino_t before = inodeOf(path);
    defaults.setValue(QStringLiteral("a"), 2);
    EXPECT_NE(inodeOf(path), before);
}

TEST(UserDefaults, UnwritableFolderReportsFailure)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Lumarient.conf"));
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
    if (::access(folder.path().toLocal8Bit().constData(), W_OK) == 0)
        GTEST_SKIP() << "running with permission to write anywhere";
    UserDefaults defaults(path);
    EXPECT_FALSE(defaults.setValue(QStringLiteral("a"), 1));
}

TEST(UserDefaults, WritesAfterReadingAMalformedFileReportTheirOwnOutcome)
{
    // QSettings reports the format error of the file it read after every write.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Lumarient.conf"));
    ASSERT_TRUE(writeFile(path, "[General]\nadbPath=/opt/adb\n[unterminated\nx=1\n"));
    ASSERT_EQ(QSettings(path, QSettings::IniFormat).status(), QSettings::FormatError);

    UserDefaults defaults(path);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(defaults.setValue(QStringLiteral("a"), 1));
    EXPECT_TRUE(defaults.remove(QStringLiteral("a")));
    EXPECT_TRUE(defaults.setValue(QStringLiteral("b"), 2));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string());

    UserDefaults reread(path);
    EXPECT_EQ(reread.value(QStringLiteral("b")).toInt(), 2);
    EXPECT_FALSE(reread.contains(QStringLiteral("a")));
    EXPECT_EQ(reread.string(QStringLiteral("adbPath")), QStringLiteral("/opt/adb"));
}

TEST(UserDefaults, EntryTextIsTheTopLevelEntryAsWritten)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Lumarient.conf"));
    ASSERT_TRUE(
        writeFile(path, "early=1\n[General]\ndeviceConfigs = @Variant(\\0\\x7f junk)\nempty=\n[other]\nlate=2\n"));
    const UserDefaults defaults(path);
    EXPECT_EQ(defaults.entryText(QStringLiteral("early")), QStringLiteral("1"));
    EXPECT_EQ(defaults.entryText(QStringLiteral("deviceConfigs")), QStringLiteral("@Variant(\\0\\x7f junk)"));
    EXPECT_EQ(defaults.entryText(QStringLiteral("empty")), QString(QLatin1String("")));
    EXPECT_EQ(defaults.entryText(QStringLiteral("late")), std::nullopt);
    EXPECT_EQ(defaults.entryText(QStringLiteral("missing")), std::nullopt);
}
