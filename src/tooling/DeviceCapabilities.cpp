#include "tooling/DeviceCapabilities.h"

#include "tooling/ADB.h"

#include <optional>

namespace lumarient::DeviceCapabilities {
namespace {

std::optional<QString> query(const ADB &adb, const QString &serial, const QStringList &command)
{
    try {
        return adb.run(QStringList{QStringLiteral("-s"), serial, QStringLiteral("shell")} + command).trimmed();
    } catch (const ShellError &) {
        return std::nullopt;
    }
}

} // namespace

int majorVersion(const QString &release)
{
    const QStringList parts = release.trimmed().split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return 0;
    bool ok = false;
    const int major = parts.first().toInt(&ok);
    return ok ? major : 0;
}

Report detect(const ADB &adb, const QString &serial)
{
    const std::optional<QString> release =
        query(adb, serial, {QStringLiteral("getprop"), QStringLiteral("ro.build.version.release")});
    const std::optional<QString> restrictions =
        query(adb, serial,
              {QStringLiteral("getprop"), QStringLiteral("persist.wm.debug.desktop_mode_enforce_device_restrictions")});
    const std::optional<QString> windowing =
        query(adb, serial,
              {QStringLiteral("device_config"), QStringLiteral("get"), QStringLiteral("windows_manager"),
               QStringLiteral("enable_desktop_windowing_mode")});

    const int major = release ? majorVersion(*release) : 0;
    const bool restrictionsOff = restrictions == QStringLiteral("false");
    const bool windowingEnabled = windowing == QStringLiteral("true");

    Report report;
    report.virtualDisplayHasWindowManagement = major > 16 || windowingEnabled;
    report.supportsVirtualDisplay = report.virtualDisplayHasWindowManagement || restrictionsOff;
    return report;
}

} // namespace lumarient::DeviceCapabilities
