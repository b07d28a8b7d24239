#include "support/PhoneWorld.h"

#include "support/Files.h"

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

QString PhoneWorld::writeCompanionApk(int versionCode)
{
    const QString path = prefix_.filePath(QStringLiteral("share/lumarient/LumarientCompanion.apk"));
    writeFile(path, "package=com.corvantil.lumarient.companion versionCode=" + QByteArray::number(versionCode));
    return path;
}

} // namespace lumarient::test
