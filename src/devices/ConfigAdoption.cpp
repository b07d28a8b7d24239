#include "devices/ConfigAdoption.h"

#include "tooling/ADB.h"
#include "tooling/DeviceCapabilities.h"

#include <QSet>
#include <QUuid>

#include <algorithm>

namespace lumarient::ConfigAdoption {

QList<DeviceConfig> discoverConfigs(const ADB &adb, const QList<ConnectedDevice> &devices,
                                    const QStringList &knownModels)
{
    QSet<QString> seen(knownModels.begin(), knownModels.end());
    QList<DeviceConfig> discovered;
    for (const ConnectedDevice &device : devices) {
        if (device.state != DeviceState::ready || device.model.isEmpty() || seen.contains(device.model))
            continue;
        seen.insert(device.model);
        const DeviceCapabilities::Report report = DeviceCapabilities::detect(adb, device.serial);
        DeviceConfig config;
        config.id = QUuid::createUuid();
        config.name = adb.marketingName(device.serial, device.model);
        config.modelPattern = device.model;
        config.wifiPort = 0;
        config.resolution = DeviceConfig::defaultResolution();
        config.supportsVirtualDisplay = report.supportsVirtualDisplay;
        config.virtualDisplayHasWindowManagement = report.virtualDisplayHasWindowManagement;
        discovered.append(config);
    }
    return discovered;
}

bool adopt(QList<DeviceConfig> &configs, QList<DeviceConfig> discovered,
           const QHash<QString, Clock::TimePoint> &recentlyRemovedModels, Clock::TimePoint now)
{
    int nextPort = 5554;
    QSet<QString> known;
    for (const DeviceConfig &config : std::as_const(configs)) {
        nextPort = std::max(nextPort, config.wifiPort);
        known.insert(config.modelPattern);
    }
    ++nextPort;

    bool appended = false;
    for (DeviceConfig &config : discovered) {
        if (known.contains(config.modelPattern))
            continue;
        const auto removed = recentlyRemovedModels.constFind(config.modelPattern);
        if (removed != recentlyRemovedModels.cend() && now - *removed < readoptionDelay)
            continue;
        config.wifiPort = nextPort++;
        known.insert(config.modelPattern);
        configs.append(config);
        appended = true;
    }
    return appended;
}

} // namespace lumarient::ConfigAdoption
