#include "wireless/WirelessPolicy.h"

#include <algorithm>

namespace lumarient::WirelessPolicy {

QString hostOf(const QString &serial)
{
    return serial.split(QLatin1Char(':'), Qt::SkipEmptyParts).value(0);
}

bool isMdnsSerial(const QString &serial)
{
    return serial.contains(QLatin1String("._adb-tls-connect"));
}

std::optional<int> parseDecimal(const QString &text)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (QChar character : text) {
        if (character < QLatin1Char('0') || character > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (character.unicode() - '0');
    }
    return value;
}

QSet<QString> connectedWifiHosts(const QList<ConnectedDevice> &devices)
{
    QSet<QString> hosts;
    for (const ConnectedDevice &device : devices) {
        if (device.isWifi && device.serial.contains(QLatin1Char(':')))
            hosts.insert(device.serial.section(QLatin1Char(':'), 0, 0));
    }
    return hosts;
}

QStringList remember(QStringList known, const QString &endpoint)
{
    if (!endpoint.contains(QLatin1Char(':')))
        return known;
    known.removeAll(endpoint);
    known.prepend(endpoint);
    if (known.size() > maximumKnownEndpoints)
        known.resize(maximumKnownEndpoints);
    return known;
}

std::optional<LANScanner::Candidate> endpointCandidate(const QString &endpoint)
{
    const QStringList pieces = endpoint.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (pieces.size() != 2)
        return std::nullopt;
    const std::optional<int> port = parseDecimal(pieces[1]);
    if (!port)
        return std::nullopt;
    return LANScanner::Candidate{pieces[0], *port};
}

QList<LANScanner::Candidate> candidatesFromEndpoints(const QStringList &known)
{
    QList<LANScanner::Candidate> candidates;
    for (const QString &endpoint : known) {
        if (const std::optional<LANScanner::Candidate> candidate = endpointCandidate(endpoint))
            candidates.append(*candidate);
    }
    return candidates;
}

std::optional<int> pinningPort(const ConnectedDevice &device, const QList<DeviceConfig> &configs)
{
    if (!device.isWifi || device.state != DeviceState::ready)
        return std::nullopt;
    const auto config = std::find_if(configs.cbegin(), configs.cend(),
                                     [&](const DeviceConfig &candidate) { return matches(candidate, device.model); });
    if (config == configs.cend())
        return std::nullopt;
    if (!device.serial.contains(QLatin1Char(':')) || isMdnsSerial(device.serial))
        return config->wifiPort;
    const QStringList pieces = device.serial.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    const std::optional<int> port = parseDecimal(pieces.isEmpty() ? QString() : pieces.last());
    if (!port || *port <= highestFixedPort)
        return std::nullopt;
    return config->wifiPort;
}

bool hasMissingConfiguredDevice(const QList<ConnectedDevice> &devices, const QList<DeviceConfig> &configs,
                                const QStringList &knownEndpoints)
{
    QSet<QString> readyModels;
    QSet<QString> readySerials;
    for (const ConnectedDevice &device : devices) {
        if (device.state != DeviceState::ready)
            continue;
        readyModels.insert(device.model);
        readySerials.insert(device.serial);
    }
    const bool configMissing = std::any_of(configs.cbegin(), configs.cend(), [&](const DeviceConfig &config) {
        return !readyModels.contains(config.modelPattern);
    });
    if (configMissing)
        return true;
    return std::any_of(knownEndpoints.cbegin(), knownEndpoints.cend(),
                       [&](const QString &endpoint) { return !readySerials.contains(endpoint); });
}

bool shouldRunLANFallback(const FallbackInputs &inputs)
{
    if (inputs.lanScanInProgress)
        return false;
    if (inputs.configs.isEmpty() && inputs.knownEndpoints.isEmpty())
        return false;
    if (!hasMissingConfiguredDevice(inputs.devices, inputs.configs, inputs.knownEndpoints))
        return false;
    if (inputs.lastBonjourResult && inputs.now - *inputs.lastBonjourResult < bonjourGracePeriod)
        return false;
    if (inputs.now - inputs.discoveryStartedAt <= bonjourGracePeriod)
        return false;
    if (inputs.lastLANScan && inputs.now - *inputs.lastLANScan < lanScanCooldown)
        return false;
    return true;
}

QList<DiscoveredService> servicesToReconnect(const QList<DiscoveredService> &services,
                                             const QList<ConnectedDevice> &devices,
                                             QHash<QString, TimePoint> &lastAttempt, TimePoint now)
{
    const QSet<QString> wifiHosts = connectedWifiHosts(devices);
    QStringList readySerials;
    for (const ConnectedDevice &device : devices) {
        if (device.state == DeviceState::ready)
            readySerials.append(device.serial);
    }
    QList<DiscoveredService> picked;
    for (const DiscoveredService &service : services) {
        if (wifiHosts.contains(service.host))
            continue;
        const bool connectedByName =
            std::any_of(readySerials.cbegin(), readySerials.cend(), [&](const QString &serial) {
                return !service.name.isEmpty() && serial.startsWith(service.name);
            });
        if (connectedByName)
            continue;
        const auto attempted = lastAttempt.constFind(service.host);
        if (attempted != lastAttempt.cend() && now - *attempted < reconnectSpacing)
            continue;
        lastAttempt.insert(service.host, now);
        picked.append(service);
    }
    return picked;
}

} // namespace lumarient::WirelessPolicy
