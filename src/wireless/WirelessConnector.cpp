#include "wireless/WirelessConnector.h"

#include "devices/DeviceManager.h"
#include "model/LumarientError.h"
#include "platform/NetworkInterfaces.h"
#include "platform/NetworkPathMonitor.h"
#include "platform/UserDefaults.h"
#include "tooling/ADB.h"
#include "tooling/FailureText.h"
#include "tooling/ShellError.h"
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
    } catch (...) {
        return failureText(std::current_exception());
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

const InterfaceSource &noInterfaces()
{
    struct None final : InterfaceSource {
        QList<InterfaceAddress> interfaces() const override { return {}; }
    };
    static const None none;
    return none;
}

} // namespace

WirelessConnector::WirelessConnector(Dependencies dependencies, QObject *parent)
    : QObject(parent), devices_(dependencies.devices), adb_(dependencies.adb), defaults_(dependencies.defaults),
      clock_(dependencies.clock), makePathMonitor_(std::move(dependencies.makePathMonitor))
{
    // Reconnections, pinning and scans of several phones must not wait behind
    // one hung adb command.
    pool_.setMaxThreadCount(8);
    knownEndpoints_ = defaults_.stringArray(knownEndpointsKey);
    discoveryStartedAt_ = clock_.now();
    scanner_ = std::make_unique<LANScanner>(dependencies.interfaces ? *dependencies.interfaces : noInterfaces());
    if (dependencies.serviceDiscovery)
        bonjour_ = std::make_unique<Bonjour>(*dependencies.serviceDiscovery, dependencies.bonjourRefreshInterval);

    // Endpoints are learnt from every fresh device list, before new phones are
    // adopted; every poll tick may start a scan once its refresh has begun.
    connect(&devices_, &DeviceManager::devicesListed, this, &WirelessConnector::learnEndpoints);
    connect(&devices_, &DeviceManager::polled, this, [this] { runLANFallback(false); });
    startBonjourBrowsers();
    startPathMonitor();
}

WirelessConnector::~WirelessConnector()
{
    stop();
    pool_.waitForDone();
}

void WirelessConnector::background(std::function<void()> work)
{
    pool_.start(std::move(work));
}

void WirelessConnector::onMain(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void WirelessConnector::publish(void (WirelessConnector::*signal)())
{
    emit(this->*signal)();
    emit changed();
}

void WirelessConnector::setPairingCandidates(const QList<DiscoveredService> &services)
{
    if (pairingCandidates_ == services)
        return;
    pairingCandidates_ = services;
    publish(&WirelessConnector::pairingCandidatesChanged);
}

void WirelessConnector::setConnectCandidates(const QList<DiscoveredService> &services)
{
    if (connectCandidates_ == services)
        return;
    connectCandidates_ = services;
    publish(&WirelessConnector::connectCandidatesChanged);
}

void WirelessConnector::setLanScanInProgress(bool running)
{
    if (lanScanInProgress_ == running)
        return;
    lanScanInProgress_ = running;
    publish(&WirelessConnector::lanScanInProgressChanged);
}

void WirelessConnector::startBonjourBrowsers()
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

void WirelessConnector::stopBonjourBrowsers()
{
    pairingBrowser_.reset();
    connectBrowser_.reset();
}

void WirelessConnector::startPathMonitor()
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

void WirelessConnector::pathChanged(const QString &signature)
{
    const bool changed = lastPathSignature_ && *lastPathSignature_ != signature;
    lastPathSignature_ = signature;
    if (changed)
        handleNetworkDisruption();
}

void WirelessConnector::handleNetworkDisruption()
{
    stopBonjourBrowsers();
    startBonjourBrowsers();
    devices_.refresh();
    discoveryStartedAt_ = clock_.now();
    lastBonjourResult_.reset();
    lastLANScan_.reset();
}

void WirelessConnector::stop()
{
    stop_.request_stop();
    stopBonjourBrowsers();
    pathMonitor_.reset();
}

void WirelessConnector::reconnectIfNeeded(const QList<DiscoveredService> &services)
{
    const QList<DiscoveredService> due =
        WirelessPolicy::servicesToReconnect(services, devices_.devices(), lastReconnectAttempt_, clock_.now());
    for (const DiscoveredService &service : due) {
        background([this, service, stop = stop_.get_token()] {
            if (failureOf([&] { adb_.connect(service.host, service.port, stop); }))
                return;
            onMain([this, service] {
                rememberEndpoint(endpointText(service.host, service.port));
                devices_.refresh();
            });
        });
    }
}

void WirelessConnector::learnEndpoints(const QList<ConnectedDevice> &devices)
{
    for (const ConnectedDevice &device : devices) {
        if (!device.isWifi || device.state != DeviceState::ready)
            continue;
        if (device.serial.contains(QLatin1Char(':')) && !WirelessPolicy::isMdnsSerial(device.serial))
            rememberEndpoint(device.serial);
        pinToFixedPort(device);
    }
}

void WirelessConnector::pinToFixedPort(const ConnectedDevice &device)
{
    const std::optional<int> port = WirelessPolicy::pinningPort(device, devices_.configs());
    // A configuration without a usable port has nowhere to pin to.
    if (!port || *port < 1 || *port > 65535 || pinnedToFixedPort_.contains(device.serial))
        return;
    pinnedToFixedPort_.insert(device.serial);
    background([this, serial = device.serial, port = *port, stop = stop_.get_token()] {
        QString endpoint;
        if (failureOf([&] { endpoint = adb_.switchToWifi(serial, port, stop); }))
            return;
        onMain([this, endpoint] {
            rememberEndpoint(endpoint);
            devices_.refresh();
        });
    });
}

void WirelessConnector::rememberEndpoint(const QString &endpoint)
{
    const QStringList updated = WirelessPolicy::remember(knownEndpoints_, endpoint);
    // Wi-Fi phones are remembered on every refresh: write only what changed.
    if (updated == knownEndpoints_)
        return;
    knownEndpoints_ = updated;
    defaults_.setValue(knownEndpointsKey, knownEndpoints_);
    publish(&WirelessConnector::knownEndpointsChanged);
}

bool WirelessConnector::hasMissingConfiguredDevice() const
{
    return WirelessPolicy::hasMissingConfiguredDevice(devices_.devices(), devices_.configs(), knownEndpoints_);
}

bool WirelessConnector::shouldRunLANFallback() const
{
    return WirelessPolicy::shouldRunLANFallback({lanScanInProgress_, devices_.devices(), devices_.configs(),
                                                 knownEndpoints_, lastBonjourResult_, discoveryStartedAt_, lastLANScan_,
                                                 clock_.now()});
}

void WirelessConnector::runLANFallback(bool manual)
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
    const QSet<QString> wifiHosts = WirelessPolicy::connectedWifiHosts(devices_.devices());
    const std::stop_token stop = stop_.get_token();

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

void WirelessConnector::finishLANFallback()
{
    setLanScanInProgress(false);
    lastLANScan_ = clock_.now();
    devices_.refresh();
}

void WirelessConnector::connectAll(const QList<LANScanner::Candidate> &candidates, std::stop_token stop)
{
    for (const LANScanner::Candidate &candidate : candidates) {
        if (stop.stop_requested())
            return;
        if (failureOf([&] { adb_.connect(candidate.host, candidate.port, stop); }))
            continue;
        onMain([this, candidate] {
            rememberEndpoint(endpointText(candidate.host, candidate.port));
            devices_.refresh();
        });
    }
}

void WirelessConnector::switchToWifi(const DeviceConfig &config)
{
    const std::optional<ConnectedDevice> device = devices_.connectedDevice(config);
    if (!device || device->isWifi)
        return;
    background([this, serial = device->serial, port = config.wifiPort, stop = stop_.get_token()] {
        QString endpoint;
        const std::optional<QString> failure = failureOf([&] { endpoint = adb_.switchToWifi(serial, port, stop); });
        onMain([this, endpoint, failure] {
            if (failure) {
                devices_.setLastError(*failure);
                return;
            }
            devices_.setLastError(QString());
            rememberEndpoint(endpoint);
            devices_.refresh();
        });
    });
}

QRPairingSession WirelessConnector::startQRPairing()
{
    const QRPairingSession session = QRPairing::makeSession(QDateTime::currentDateTimeUtc());
    activeQRSession_ = session;
    qrSessionDeadline_ = clock_.now() + QRPairing::sessionLifetime;
    return session;
}

void WirelessConnector::autoPairIfQRSessionMatches(const QList<DiscoveredService> &services)
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

void WirelessConnector::pairAndConnect(const DiscoveredService &service, const QString &code, QObject *context,
                                       std::function<void(const std::optional<QString> &failure)> done)
{
    const std::optional<DiscoveredService> announced = connectServiceOf(service.host);
    QPointer<QObject> receiver(context);
    background([this, service, code, announced, receiver, done, stop = stop_.get_token()] {
        const std::optional<QString> failure = adbFailureOf([&] {
            adb_.pair(service.host, service.port, code);
            // The pairing port speaks only the pairing protocol; the phone's
            // connect service, when announced, is where adb can connect.
            const DiscoveredService target = announced.value_or(service);
            adb_.connect(target.host, target.port, stop);
        });
        onMain([this, failure, receiver, done] {
            if (!failure)
                devices_.refresh();
            if (receiver)
                done(failure);
        });
    });
}

std::optional<DiscoveredService> WirelessConnector::connectServiceOf(const QString &host) const
{
    for (const DiscoveredService &service : connectCandidates_) {
        if (service.host == host)
            return service;
    }
    return std::nullopt;
}

} // namespace lumarient
