#include "tooling/DeviceListParser.h"

#include <optional>

namespace lumarient {
namespace {

std::optional<DeviceState> stateFromWord(const QString &word)
{
    if (word == QLatin1String("device"))
        return DeviceState::ready;
    if (word == QLatin1String("unauthorized") || word == QLatin1String("authorizing"))
        return DeviceState::unauthorized;
    if (word == QLatin1String("offline"))
        return DeviceState::offline;
    return std::nullopt;
}

} // namespace

bool isWifiSerial(const QString &serial)
{
    return serial.contains(QLatin1Char(':')) || serial.contains(QLatin1String("._adb-tls-connect"));
}

QList<ConnectedDevice> parseDeviceList(const QString &output)
{
    return parseDeviceLines(output, 1);
}

QList<ConnectedDevice> parseDeviceLines(const QString &output, qsizetype skippedLines)
{
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QList<ConnectedDevice> devices;
    for (qsizetype index = skippedLines; index < lines.size(); ++index) {
        // Only the space separates words; a tab stays inside its word.
        const QStringList words = lines[index].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() < 2)
            continue;
        const std::optional<DeviceState> state = stateFromWord(words[1]);
        if (!state)
            continue;
        ConnectedDevice device;
        device.serial = words[0];
        for (const QString &word : words) {
            if (word.startsWith(QLatin1String("model:"))) {
                device.model = word.mid(6);
                break;
            }
        }
        device.isWifi = isWifiSerial(device.serial);
        device.state = *state;
        devices.append(device);
    }
    return devices;
}

} // namespace lumarient
