// The wireless connection policy: discovery, remembered endpoints, pinning to a
// fixed port, reconnection, the LAN scan fallback, switching to Wi-Fi, and QR
// pairing.
#include "devices/DeviceManager.h"

#include "devices/LumarientError.h"
#include "platform/NetworkInterfaces.h"
#include "platform/NetworkPathMonitor.h"
#include "platform/UserDefaults.h"
#include "tooling/ADB.h"
#include "tooling/ShellError.h"
#include "wireless/Bonjour.h"
#include "wireless/PathSignature.h"
#include "wireless/QRPairing.h"
#include "wireless/WirelessPolicy.h"

#include <QDateTime>

namespace lumarient {
namespace {

const QString knownEndpointsKey = QStringLiteral("knownWifiEndpoints");
const QString pairingServiceType = QStringLiteral("_adb-tls-pairing._tcp");
const QString connectServiceType = QStringLiteral("_adb-tls-connect._tcp");

QString endpointText(const QString &host, int port)
{
    return host + QLatin1Char(':') + QString::number(port);
}

// Runs `work`; returns the text to show for its failure, or none on success.
template <typename Work> std::optional<QString> failureOf(Work work)
{
    try {
        work();
        return std::nullopt;
    } catch (const LumarientError &error) {
        return error.description();
    } catch (const ShellError &error) {
        return error.description();
    } catch (const std::exception &error) {
        return QString::fromLocal8Bit(error.what());
    }
}

// adb's lines about starting its server ("* daemon not running; starting now
// ...") say nothing about the command that failed.
QString withoutServerNotices(const QString &output)
{
    QStringList lines;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("* daemon")))
            lines.append(line);
    }
    return lines.join(QLatin1Char('\n')).trimmed();
}

// Pairing failures show what adb printed: its refusal says what went wrong, and
// the command line (with the code in it) is nothing to show.
template <typename Work> std::optional<QString> adbFailureOf(Work work)
{
    try {
        work();
        return std::nullopt;
    } catch (const ShellError &error) {
        const QString printed = withoutServerNotices(error.output());
        if (error.kind() == ShellError::Kind::nonZeroExit && !printed.isEmpty())
            return printed;
        return error.description();
    } catch (const LumarientError &error) {
        return withoutServerNotices(error.description());
    } catch (const std::exception &error) {
        return QString::fromLocal8Bit(error.what());
    }
}

} // namespace

const InterfaceSource &DeviceManager::noInterfaces()
{
    struct None final : InterfaceSource {
        QList<InterfaceAddress> interfaces() const override { return {}; }
    };
    static const None none;
    return none;
}

void DeviceManager::setPairingCandidates(const QList<DiscoveredService> &services)
{
    if (pairingCandidates_ == services)
        return;
    pairingCandidates_ = services;
    publish(&DeviceManager::pairingCandidatesChanged);
}

void DeviceManager::setConnectCandidates(const QList<DiscoveredService> &services)
{
    if (connectCandidates_ == services)
        return;
    connectCandidates_ = services;
    publish(&DeviceManager::connectCandidatesChanged);
}

void DeviceManager::setLanScanInProgress(bool running)
{
    if (lanScanInProgress_ == running)
        return;
    lanScanInProgress_ = running;
    publish(&DeviceManager::lanScanInProgressChanged);
}

void DeviceManager::startBonjourBrowsers()
{
    if (!bonjour_)
        return;
    // The browsers belong to the manager and fall silent when stopped, so their
    // callbacks never outlive it.
    pairingBrowser_ = bonjour_->browse(pairingServiceType, [this](const QList<DiscoveredService> &services) {
        setPairingCandidates(services);
        autoPairIfQRSessionMatches(services);
    });
    connectBrowser_ = bonjour_->browse(connectServiceType, [this](const QList<DiscoveredService> &services) {
        setConnectCandidates(services);
        if (!services.isEmpty())
            lastBonjourResult_ = clock_.now();
        reconnectIfNeeded(services);
    });
}

void DeviceManager::stopBonjourBrowsers()
{
    pairingBrowser_.reset();
    connectBrowser_.reset();
}

void DeviceManager::startPathMonitor()
{
    if (!makePathMonitor_ || pathMonitor_)
        return;
    pathMonitor_ = makePathMonitor_();
    if (!pathMonitor_)
        return;
    // Runs on the monitor's thread; the monitor is stopped before the manager
    // goes, so the hop never reaches a dead manager.
    pathMonitor_->start([this](const NetworkPath &path) {
        const QString signature = pathSignature(path);
        onMain([this, signature] { pathChanged(signature); });
    });
}

void DeviceManager::cancelPathMonitor()
{
    pathMonitor_.reset();
}

void DeviceManager::pathChanged(const QString &signature)
{
    const bool changed = lastPathSignature_ && *lastPathSignature_ != signature;
    lastPathSignature_ = signature;
    if (changed)
        handleNetworkDisruption();
}

void DeviceManager::handleNetworkDisruption()
{
    stopBonjourBrowsers();
    startBonjourBrowsers();
    refresh();
    discoveryStartedAt_ = clock_.now();
    lastBonjourResult_.reset();
    lastLANScan_.reset();
}

void DeviceManager::stopWirelessWork()
{
    wirelessStop_.request_stop();
    stopBonjourBrowsers();
    cancelPathMonitor();
}

void DeviceManager::reconnectIfNeeded(const QList<DiscoveredService> &services)
{
    const QList<DiscoveredService> due =
        WirelessPolicy::servicesToReconnect(services, devices_, lastReconnectAttempt_, clock_.now());
    for (const DiscoveredService &service : due) {
        background([this, service, stop = wirelessStop_.get_token()] {
            if (failureOf([&] { adb_.connect(service.host, service.port, stop); }))
                return;
            onMain([this, service] {
                rememberEndpoint(endpointText(service.host, service.port));
                refresh();
            });
        });
    }
}

void DeviceManager::learnEndpoints(const QList<ConnectedDevice> &devices)
{
    for (const ConnectedDevice &device : devices) {
        if (!device.isWifi || device.state != DeviceState::ready)
            continue;
        if (device.serial.contains(QLatin1Char(':')) && !WirelessPolicy::isMdnsSerial(device.serial))
            rememberEndpoint(device.serial);
        pinToFixedPort(device);
    }
}

void DeviceManager::pinToFixedPort(const ConnectedDevice &device)
{
    const std::optional<int> port = WirelessPolicy::pinningPort(device, configs_);
    // A configuration without a usable port has nowhere to pin to.
    if (!port || *port < 1 || *port > 65535 || pinnedToFixedPort_.contains(device.serial))
        return;
    pinnedToFixedPort_.insert(device.serial);
    background([this, serial = device.serial, port = *port, stop = wirelessStop_.get_token()] {
        QString endpoint;
        if (failureOf([&] { endpoint = adb_.switchToWifi(serial, port, stop); }))
            return;
        onMain([this, endpoint] {
            rememberEndpoint(endpoint);
            refresh();
        });
    });
}

void DeviceManager::rememberEndpoint(const QString &endpoint)
{
    const QStringList updated = WirelessPolicy::remember(knownEndpoints_, endpoint);
    // Wi-Fi phones are remembered on every refresh: write only what changed.
    if (updated == knownEndpoints_)
        return;
    knownEndpoints_ = updated;
    defaults_.setValue(knownEndpointsKey, knownEndpoints_);
    publish(&DeviceManager::knownEndpointsChanged);
}

bool DeviceManager::hasMissingConfiguredDevice() const
{
    return WirelessPolicy::hasMissingConfiguredDevice(devices_, configs_, knownEndpoints_);
}

bool DeviceManager::shouldRunLANFallback() const
{
    return WirelessPolicy::shouldRunLANFallback({lanScanInProgress_, devices_, configs_, knownEndpoints_,
                                                 lastBonjourResult_, discoveryStartedAt_, lastLANScan_, clock_.now()});
}

void DeviceManager::runLANFallback(bool manual)
{
    if (!manual && !shouldRunLANFallback())
        return;
    if (lanScanInProgress_)
        return;
    setLanScanInProgress(true);

    const QList<LANScanner::Candidate> remembered = WirelessPolicy::candidatesFromEndpoints(knownEndpoints_);
    QList<int> extraPorts;
    for (const LANScanner::Candidate &candidate : remembered)
        extraPorts.append(candidate.port);
    const QSet<QString> wifiHosts = WirelessPolicy::connectedWifiHosts(devices_);
    const std::stop_token stop = wirelessStop_.get_token();

    background([this, remembered, extraPorts, wifiHosts, stop] {
        const QList<LANScanner::Candidate> found = scanner_->probeKnown(remembered, stop);
        connectAll(found, stop);
        onMain([this, found, extraPorts, wifiHosts, stop] {
            if (!hasMissingConfiguredDevice()) {
                finishLANFallback();
                return;
            }
            QSet<QString> skipHosts = wifiHosts;
            for (const LANScanner::Candidate &candidate : found)
                skipHosts.insert(candidate.host);
            background([this, extraPorts, skipHosts, stop] {
                connectAll(scanner_->sweepLocalSubnet(extraPorts, skipHosts, stop), stop);
                onMain([this] { finishLANFallback(); });
            });
        });
    });
}

void DeviceManager::finishLANFallback()
{
    setLanScanInProgress(false);
    lastLANScan_ = clock_.now();
    refresh();
}

void DeviceManager::connectAll(const QList<LANScanner::Candidate> &candidates, std::stop_token stop)
{
    for (const LANScanner::Candidate &candidate : candidates) {
        if (stop.stop_requested())
            return;
        if (failureOf([&] { adb_.connect(candidate.host, candidate.port, stop); }))
            continue;
        onMain([this, candidate] {
            rememberEndpoint(endpointText(candidate.host, candidate.port));
            refresh();
        });
    }
}

void DeviceManager::switchToWifi(const DeviceConfig &config)
{
    const std::optional<ConnectedDevice> device = connectedDevice(config);
    if (!device || device->isWifi)
        return;
    background([this, serial = device->serial, port = config.wifiPort, stop = wirelessStop_.get_token()] {
        QString endpoint;
        const std::optional<QString> failure = failureOf([&] { endpoint = adb_.switchToWifi(serial, port, stop); });
        onMain([this, endpoint, failure] {
            if (failure) {
                setLastError(*failure);
                return;
            }
            setLastError(QString());
            rememberEndpoint(endpoint);
            refresh();
        });
    });
}

QRPairingSession DeviceManager::startQRPairing()
{
    const QRPairingSession session = QRPairing::makeSession(QDateTime::currentDateTimeUtc());
    activeQRSession_ = session;
    qrSessionDeadline_ = clock_.now() + QRPairing::sessionLifetime;
    return session;
}

void DeviceManager::autoPairIfQRSessionMatches(const QList<DiscoveredService> &services)
{
    if (!activeQRSession_)
        return;
    if (qrSessionDeadline_ <= clock_.now()) {
        activeQRSession_.reset();
        return;
    }
    const std::optional<DiscoveredService> service = QRPairing::matchingService(*activeQRSession_, services);
    if (!service)
        return;
    const QString password = activeQRSession_->password;
    // Used once: a later list with the same service starts nothing.
    activeQRSession_.reset();
    pairAndConnect(*service, password, this, [](const std::optional<QString> &) {});
}

void DeviceManager::pairAndConnect(const DiscoveredService &service, const QString &code, QObject *context,
                                   std::function<void(const std::optional<QString> &failure)> done)
{
    const std::optional<DiscoveredService> announced = connectServiceOf(service.host);
    QPointer<QObject> receiver(context);
    background([this, service, code, announced, receiver, done, stop = wirelessStop_.get_token()] {
        const std::optional<QString> failure = adbFailureOf([&] {
            adb_.pair(service.host, service.port, code);
            // The pairing port speaks only the pairing protocol; the phone's
            // connect service, when announced, is where adb can connect.
            const DiscoveredService target = announced.value_or(service);
            adb_.connect(target.host, target.port, stop);
        });
        onMain([this, failure, receiver, done] {
            if (!failure)
                refresh();
            if (receiver)
                done(failure);
        });
    });
}

std::optional<DiscoveredService> DeviceManager::connectServiceOf(const QString &host) const
{
    for (const DiscoveredService &service : connectCandidates_) {
        if (service.host == host)
            return service;
    }
    return std::nullopt;
}

} // namespace lumarient
