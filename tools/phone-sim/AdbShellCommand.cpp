#include "AdbShellCommand.h"

#include "DisplayDump.h"
#include "PackageCommands.h"

#include <QRegularExpression>

namespace phonesim {
namespace {

const QString overlayKey = QStringLiteral("global.overlay_display_devices");

Reply notFound(const QString &program)
{
    return {QStringLiteral("/system/bin/sh: %1: inaccessible or not found\n").arg(program), 127};
}

// Adds the overlay display that the overlay setting asks for.
void addOverlayDisplay(SimPhone &phone)
{
    const QString value = phone.settings.value(overlayKey);
    static const QRegularExpression notation(QStringLiteral(R"(^(\d+)x(\d+)/(\d+))"));
    const QRegularExpressionMatch match = notation.match(value);
    SimDisplay display;
    display.id = phone.nextDisplayId++;
    display.uniqueId = QStringLiteral("overlay:1");
    display.width = match.hasMatch() ? match.captured(1).toInt() : 720;
    display.height = match.hasMatch() ? match.captured(2).toInt() : 480;
    display.density = match.hasMatch() ? match.captured(3).toInt() : 160;
    phone.displays.append(display);
}

void removeOverlayDisplays(SimPhone &phone)
{
    phone.overlayPollsLeft = -1;
    phone.displays.removeIf([](const SimDisplay &display) { return display.uniqueId.startsWith("overlay:"); });
}

Reply getprop(const SimPhone &phone, const QStringList &words)
{
    if (words.size() < 2) {
        QString all;
        for (auto it = phone.props.cbegin(); it != phone.props.cend(); ++it)
            all += QStringLiteral("[%1]: [%2]\n").arg(it.key(), it.value());
        return {all, 0};
    }
    return {phone.props.value(words[1]) + '\n', 0};
}

Reply settings(SimPhone &phone, const QStringList &words)
{
    static const QStringList namespaces{QStringLiteral("global"), QStringLiteral("system"), QStringLiteral("secure")};
    if (words.size() < 4 || !namespaces.contains(words[2]))
        return {QStringLiteral("Invalid command: %1\n").arg(words.mid(1).join(' ')), 255};
    const QString key = words[2] + '.' + words[3];
    const QString verb = words[1];
    if (verb == QLatin1String("get"))
        return {phone.settings.value(key, QStringLiteral("null")) + '\n', 0};
    if (verb == QLatin1String("delete")) {
        const bool existed = phone.settings.remove(key) > 0;
        if (key == overlayKey)
            removeOverlayDisplays(phone);
        return {QStringLiteral("Deleted %1 rows\n").arg(existed ? 1 : 0), 0};
    }
    if (verb == QLatin1String("put") && words.size() >= 5) {
        phone.settings.insert(key, words.mid(4).join(' '));
        if (key == overlayKey) {
            removeOverlayDisplays(phone);
            if (phone.overlayAppearsAfterPolls == 0)
                addOverlayDisplay(phone);
            else if (phone.overlayAppearsAfterPolls > 0)
                phone.overlayPollsLeft = phone.overlayAppearsAfterPolls;
        }
        return {QString(), 0};
    }
    return {QStringLiteral("Invalid command: %1\n").arg(words.mid(1).join(' ')), 255};
}

Reply dumpsys(SimPhone &phone, const QStringList &words)
{
    if (words.size() >= 2 && words[1] == QLatin1String("display")) {
        if (phone.overlayPollsLeft > 0 && --phone.overlayPollsLeft == 0) {
            phone.overlayPollsLeft = -1;
            addOverlayDisplay(phone);
        }
        return {displayDump(phone), 0};
    }
    if (words.size() >= 3 && words[1] == QLatin1String("package"))
        return dumpPackage(phone, words[2]);
    return {QStringLiteral("Can't find service: %1\n").arg(words.value(1)), 0};
}

Reply wm(SimPhone &phone, const QStringList &words)
{
    if (words.value(1) == QLatin1String("size"))
        return {QStringLiteral("Physical size: %1x%2\n").arg(phone.screenWidth).arg(phone.screenHeight), 0};
    if (words.value(1) == QLatin1String("set-display-windowing-mode") && words.size() == 5
        && words[2] == QLatin1String("-d")) {
        bool idOk = false;
        bool modeOk = false;
        const int id = words[3].toInt(&idOk);
        const int mode = words[4].toInt(&modeOk);
        if (idOk && modeOk) {
            for (SimDisplay &display : phone.displays) {
                if (display.id == id) {
                    display.windowingMode = mode;
                    return {QString(), 0};
                }
            }
        }
        return {QStringLiteral("Error: Unable to set windowing mode on display %1\n").arg(words[3]), 255};
    }
    return {QStringLiteral("Unknown command: %1\n").arg(words.value(1)), 255};
}

Reply ip(const SimPhone &phone, const QStringList &words)
{
    if (words != QStringList{"ip", "-4", "addr", "show", "wlan0"})
        return {QString(), 0};
    if (phone.wlanAddress.isEmpty())
        return {QString(), 0};
    return {QStringLiteral("47: wlan0: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc mq state UP group default "
                           "qlen 3000\n"
                           "    inet %1/24 brd %2.255 scope global wlan0\n"
                           "       valid_lft forever preferred_lft forever\n")
                .arg(phone.wlanAddress, phone.wlanAddress.section('.', 0, 2)),
            0};
}

Reply deviceConfig(const SimPhone &phone, const QStringList &words)
{
    if (words.value(1) == QLatin1String("get") && words.size() == 4)
        return {phone.deviceConfig.value(words[2] + ' ' + words[3], QStringLiteral("null")) + '\n', 0};
    return {QStringLiteral("Invalid arguments\n"), 255};
}

} // namespace

Reply runPhoneShell(SimPhone &phone, const QString &commandLine)
{
    const QStringList words = commandLine.split(' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {QString(), 0};
    const QString &program = words[0];
    if (program == QLatin1String("getprop"))
        return getprop(phone, words);
    if (program == QLatin1String("settings"))
        return settings(phone, words);
    if (program == QLatin1String("dumpsys"))
        return dumpsys(phone, words);
    if (program == QLatin1String("wm"))
        return wm(phone, words);
    if (program == QLatin1String("ip"))
        return ip(phone, words);
    if (program == QLatin1String("device_config"))
        return deviceConfig(phone, words);
    if (program == QLatin1String("pm"))
        return packageManager(phone, words);
    if (program == QLatin1String("am"))
        return activityManager(phone, words);
    return notFound(program);
}

} // namespace phonesim
