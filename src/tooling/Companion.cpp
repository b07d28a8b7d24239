#include "tooling/Companion.h"

#include "tooling/ADB.h"
#include "tooling/ToolPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace lumarient {
namespace {

QStringList onPhone(const QString &serial, const QStringList &arguments)
{
    return QStringList{QStringLiteral("-s"), serial} + arguments;
}

} // namespace

Companion::Companion(const ToolPaths &paths, const ADB &adb) : paths_(paths), adb_(adb)
{
}

std::optional<QString> Companion::apkPath() const
{
    const QString bundled = paths_.bundled(QStringLiteral("share/lumarient/LumarientCompanion.apk"));
    if (QFileInfo(bundled).isFile())
        return bundled;
    const QString development = QDir::currentPath() + QStringLiteral("/companion/build/LumarientCompanion.apk");
    if (QFileInfo(development).isFile())
        return development;
    return std::nullopt;
}

std::optional<QString> Companion::packageDump(const QString &serial) const
{
    try {
        return adb_.run(onPhone(
            serial, {QStringLiteral("shell"), QStringLiteral("dumpsys"), QStringLiteral("package"), packageName()}));
    } catch (const ShellError &) {
        return std::nullopt;
    }
}

std::optional<int> Companion::installedVersion(const QString &serial) const
{
    static const QRegularExpression versionCode(QStringLiteral(R"(versionCode=(\d+))"));
    const std::optional<QString> dump = packageDump(serial);
    if (!dump)
        return std::nullopt;
    const QRegularExpressionMatch match = versionCode.match(*dump);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const int version = match.captured(1).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return version;
}

bool Companion::isReady(const QString &serial) const
{
    const std::optional<QString> dump = packageDump(serial);
    return dump && dump->contains(QLatin1String("versionCode=")) &&
           dump->contains(QLatin1String("android.permission.WRITE_SECURE_SETTINGS: granted=true"));
}

void Companion::ensure(const QString &serial) const
{
    const std::optional<QString> apk = apkPath();
    if (!apk)
        return;
    const std::optional<int> version = installedVersion(serial);
    if (!version || *version < minimumVersionCode) {
        if (!adb_.succeeds(onPhone(serial, {QStringLiteral("install"), QStringLiteral("-r"), *apk}),
                           ADB::installTimeLimit))
            return;
    }
    for (const char *permission : {"android.permission.WRITE_SECURE_SETTINGS", "android.permission.POST_NOTIFICATIONS"})
        adb_.succeeds(onPhone(serial, {QStringLiteral("shell"), QStringLiteral("pm"), QStringLiteral("grant"),
                                       packageName(), QLatin1String(permission)}));
    notifySession(serial, QStringLiteral("ended"));
}

void Companion::notifySession(const QString &serial, const QString &state,
                              const std::optional<QString> &transport) const
{
    QStringList arguments{QStringLiteral("shell"),
                          QStringLiteral("am"),
                          QStringLiteral("broadcast"),
                          QStringLiteral("-n"),
                          sessionReceiver(),
                          QStringLiteral("-a"),
                          sessionAction(),
                          QStringLiteral("--es"),
                          QStringLiteral("state"),
                          state};
    if (transport)
        arguments << QStringLiteral("--es") << QStringLiteral("transport") << *transport;
    adb_.succeeds(onPhone(serial, arguments));
}

void Companion::reverse(const QString &serial, int port) const
{
    adb_.ensureReverse(serial, port);
}

void Companion::enableTransfer(const QString &serial) const
{
    reverse(serial, transferPort);
}

void Companion::enableSecondDisplay(const QString &serial) const
{
    reverse(serial, secondDisplayPort);
}

void Companion::launchDisplayReceiver(const QString &serial, int width, int height) const
{
    adb_.succeeds(
        onPhone(serial, {QStringLiteral("shell"), QStringLiteral("am"), QStringLiteral("start"), QStringLiteral("-n"),
                         displayActivity(), QStringLiteral("--ei"), QStringLiteral("w"), QString::number(width),
                         QStringLiteral("--ei"), QStringLiteral("h"), QString::number(height)}));
}

void Companion::stopDisplayReceiver(const QString &serial) const
{
    adb_.succeeds(
        onPhone(serial, {QStringLiteral("shell"), QStringLiteral("am"), QStringLiteral("broadcast"),
                         QStringLiteral("-n"), sessionReceiver(), QStringLiteral("-a"), displayStopAction()}));
}

} // namespace lumarient
