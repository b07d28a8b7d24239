#include "platform/LoginAutostart.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace lumarient;
using lumarient::test::writeFile;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(LoginAutostart, EnablingWritesAValidEntryAndDisablingRemovesIt)
{
    QTemporaryDir config;
    // The folder does not exist yet on a fresh account.
    const LoginAutostart autostart(config.filePath(QStringLiteral("autostart")),
                                   QStringLiteral("/opt/My Apps/lumarient"));
    EXPECT_FALSE(autostart.isEnabled());
    ASSERT_TRUE(autostart.setEnabled(true));
    EXPECT_TRUE(autostart.isEnabled());
    EXPECT_TRUE(contents(autostart.entryPath()).contains("\nExec=\"/opt/My Apps/lumarient\"\n"));
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (!validator.isEmpty()) {
        EXPECT_EQ(QProcess::execute(validator, {autostart.entryPath()}), 0);
    }

    ASSERT_TRUE(autostart.setEnabled(false));
    EXPECT_FALSE(QFile::exists(autostart.entryPath()));
    EXPECT_TRUE(autostart.setEnabled(false)) << "already off is not a failure";
}

TEST(LoginAutostart, AnEntryTheUserSwitchedOffCountsAsOff)
{
    QTemporaryDir config;
    const LoginAutostart autostart(config.path(), QStringLiteral("lumarient"));
    for (const QByteArray &off : {QByteArray("Hidden=true"), QByteArray("X-GNOME-Autostart-enabled=false")}) {
        ASSERT_TRUE(
            writeFile(autostart.entryPath(), "[Desktop Entry]\nType=Application\nExec=lumarient\n" + off + "\n"));
        EXPECT_FALSE(autostart.isEnabled()) << off.toStdString();
    }
}
