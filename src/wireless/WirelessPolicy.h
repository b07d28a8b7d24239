#pragma once

#include "model/ConnectedDevice.h"
#include "model/DeviceConfig.h"
#include "model/DiscoveredService.h"
#include "wireless/LANScanner.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace lumarient {

// The decisions of the wireless connection policy, free of threads and adb, so
// the device manager only has to carry them out.
namespace WirelessPolicy {

using TimePoint = std::chrono::steady_clock::time_point;

inline constexpr qsizetype maximumKnownEndpoints = 12;
// Bonjour repeats a present phone about every 4 s; one connect per host per 10 s.
inline constexpr std::chrono::seconds reconnectSpacing{10};
// Quiet time after a Bonjour result, and minimum discovery age, before a scan.
inline constexpr std::chrono::milliseconds bonjourGracePeriod{8000};
inline constexpr std::chrono::milliseconds lanScanCooldown{60000};
// Ports above this were handed out at random by wireless debugging.
inline constexpr int highestFixedPort = 29999;

// The host of a Wi-Fi serial: the first non-empty piece before a colon.
QString hostOf(const QString &serial);
// A name adb found through mDNS itself rather than an address.
bool isMdnsSerial(const QString &serial);
// A whole decimal number of digits only; none for anything else or overflow.
std::optional<int> parseDecimal(const QString &text);

// Hosts of the Wi-Fi devices listed under a host:port serial, whatever their state.
QSet<QString> connectedWifiHosts(const QList<ConnectedDevice> &devices);

// `known` with `endpoint` moved to the front, without duplicates, at most 12
// entries; unchanged when `endpoint` has no colon.
QStringList remember(QStringList known, const QString &endpoint);
// The scan candidate of a remembered endpoint: exactly a host and a decimal
// port. None for anything else (such entries stay remembered all the same).
std::optional<LANScanner::Candidate> endpointCandidate(const QString &endpoint);
QList<LANScanner::Candidate> candidatesFromEndpoints(const QStringList &known);

// The port a ready Wi-Fi device should be moved to, when it needs moving: its
// configuration's Wi-Fi port if it is known only by mDNS name or by a random
// high port. None when it needs nothing (or has no configuration).
std::optional<int> pinningPort(const ConnectedDevice &device, const QList<DeviceConfig> &configs);

// Some configured phone or remembered endpoint is not connected and ready.
bool hasMissingConfiguredDevice(const QList<ConnectedDevice> &devices, const QList<DeviceConfig> &configs,
                                const QStringList &knownEndpoints);

struct FallbackInputs {
    bool lanScanInProgress = false;
    const QList<ConnectedDevice> &devices;
    const QList<DeviceConfig> &configs;
    const QStringList &knownEndpoints;
    std::optional<TimePoint> lastBonjourResult;
    TimePoint discoveryStartedAt;
    std::optional<TimePoint> lastLANScan;
    TimePoint now;
};
// Whether an automatic LAN scan is due: the six conditions, in order.
bool shouldRunLANFallback(const FallbackInputs &inputs);

// The connect-browser services worth a connection attempt now, in list order.
// Records `now` in `lastAttempt` for each host it picks.
QList<DiscoveredService> servicesToReconnect(const QList<DiscoveredService> &services,
                                             const QList<ConnectedDevice> &devices,
                                             QHash<QString, TimePoint> &lastAttempt, TimePoint now);

} // namespace WirelessPolicy
} // namespace lumarient
