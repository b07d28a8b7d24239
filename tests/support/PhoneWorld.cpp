#include "support/PhoneWorld.h"

#include <QDir>
#include <QFile>

namespace lumarient::test {

PhoneWorld::PhoneWorld(std::chrono::milliseconds commandTimeLimit) : adb_(paths_, adbSleeper_, commandTimeLimit)
{
    defaults_.setValue(QStringLiteral("adbPath"), sim_.adbPath());
    defaults_.setValue(QStringLiteral("scrcpyPath"), sim_.scrcpyPath());
}

int PhoneWorld::count(const QString &fragment) const
{
    int found = 0;
    for (const QString &command : sim_.adbCommands())
        found += command.contains(fragment) ? 1 : 0;
    return found;
}

void PhoneWorld::unplug(const QString &serial)
{
    sim_.update([&](phonesim::SimState &state) {
        for (phonesim::SimPhone &phone : state.phones) {
            if (phone.usbSerial == serial.toStdString())
                phone.usbAttached = false;
        }
    });
}

QString PhoneWorld::connectOverWifi(const QString &serial, int port)
{
    std::string endpoint;
    sim_.update([&](phonesim::SimState &state) {
        for (phonesim::SimPhone &phone : state.phones) {
            if (phone.usbSerial == serial.toStdString()) {
                phone.tcpipPort = port;
                endpoint = phone.wlanAddress + ':' + std::to_string(port);
                state.wifiConnections.push_back(endpoint);
            }
        }
    });
    return QString::fromStdString(endpoint);
}

bool PhoneWorld::hasOverlaySetting(const QString &serial) const
{
    return sim_.phone(serial).settings.count("global.overlay_display_devices") > 0;
}

QString PhoneWorld::writeCompanionApk(int versionCode)
{
    QDir(prefix_.path()).mkpath(QStringLiteral("share/lumarient"));
    const QString path = prefix_.filePath(QStringLiteral("share/lumarient/LumarientCompanion.apk"));
    QFile apk(path);
    apk.open(QIODevice::WriteOnly | QIODevice::Truncate);
    apk.write(QStringLiteral("package=com.corvantil.lumarient.companion versionCode=%1").arg(versionCode).toUtf8());
    return path;
}

} // namespace lumarient::test
