#include "tooling/ToolPaths.h"

#include "platform/UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace lumarient {

ToolPaths::ToolPaths(const UserDefaults &defaults, QString installPrefix)
    : defaults_(defaults), installPrefix_(std::move(installPrefix))
{
}

QString ToolPaths::prefixOfRunningExecutable()
{
    const QFileInfo executable(QStringLiteral("/proc/self/exe"));
    return QFileInfo(executable.canonicalFilePath()).dir().absoluteFilePath(QStringLiteral(".."));
}

QString ToolPaths::adb() const
{
    return resolve(QStringLiteral("adbPath"), QStringLiteral("adb"), QStringLiteral("libexec/lumarient/adb"));
}

QString ToolPaths::scrcpy() const
{
    return resolve(QStringLiteral("scrcpyPath"), QStringLiteral("scrcpy"), QStringLiteral("libexec/lumarient/scrcpy"));
}

std::optional<QString> ToolPaths::scrcpyServerPath() const
{
    const QString path = bundled(QStringLiteral("share/lumarient/scrcpy-server"));
    if (QFileInfo(path).isFile())
        return path;
    return std::nullopt;
}

QString ToolPaths::bundled(const QString &relativePath) const
{
    return QDir::cleanPath(installPrefix_ + QLatin1Char('/') + relativePath);
}

QString ToolPaths::resolve(const QString &key, const QString &tool, const QString &bundledPath) const
{
    QString fallback = QStandardPaths::findExecutable(tool);
    if (fallback.isEmpty())
        fallback = QStringLiteral("/usr/bin/") + tool;

    const QString override = defaults_.string(key);
    if (!override.isEmpty() && override != fallback)
        return override;

    const QString inBundle = bundled(bundledPath);
    const QFileInfo info(inBundle);
    if (info.isFile() && info.isExecutable())
        return inBundle;
    return fallback;
}

} // namespace lumarient
