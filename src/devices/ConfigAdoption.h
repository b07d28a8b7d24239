#pragma once

#include "model/ConnectedDevice.h"
#include "model/DeviceConfig.h"
#include "platform/Clock.h"

#include <QHash>
#include <QList>
#include <QStringList>

namespace lumarient {

class ADB;

// How phones of a new model become saved configurations.
namespace ConfigAdoption {

// A model removed by the user is not adopted again for this long, so that the
// phone still plugged in does not bring it straight back.
inline constexpr std::chrono::seconds readoptionDelay{5};

// Runs in the background: configurations for ready phones of models not in
// `knownModels`, one per model, in device order, with no Wi-Fi port yet.
QList<DeviceConfig> discoverConfigs(const ADB &adb, const QList<ConnectedDevice> &devices,
                                    const QStringList &knownModels);

// Appends the discovered configurations whose model is neither known nor
// removed less than `readoptionDelay` ago, each with the next free Wi-Fi port
// (one above the largest in use, from 5555). Returns whether any was appended.
bool adopt(QList<DeviceConfig> &configs, QList<DeviceConfig> discovered,
           const QHash<QString, Clock::TimePoint> &recentlyRemovedModels, Clock::TimePoint now);

} // namespace ConfigAdoption
} // namespace lumarient
