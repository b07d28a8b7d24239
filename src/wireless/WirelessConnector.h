#pragma once

#include "model/ConnectedDevice.h"
#include "model/DeviceConfig.h"
#include "model/DiscoveredService.h"
#include "model/QRPairingSession.h"
#include "platform/Clock.h"
#include "platform/NetworkPathMonitor.h"
#include "wireless/Bonjour.h"
#include "wireless/LANScanner.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

namespace lumarient {

class ADB;
class DeviceManager;
class InterfaceSource;
class ServiceDiscovery;
class UserDefaults;

// Keeps wireless phones connected without the user's help: takes cabled phones
// off the cable, pins wirelessly debugged phones to their fixed port, remembers
// the endpoints that worked, reconnects phones that Bonjour announces, restarts
// discovery after a network change or a wake from sleep, decides when a scan of
// the local subnet is worth its cost, and pairs new phones.
//
// It follows the device manager's refreshes and poll ticks. State belongs to the
// main thread; adb runs in background work that hops back to change it.
class WirelessConnector : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool lanScanInProgress READ lanScanInProgress NOTIFY lanScanInProgressChanged)
    Q_PROPERTY(
        QList<lumarient::DiscoveredService> pairingCandidates READ pairingCandidates NOTIFY pairingCandidatesChanged)
    Q_PROPERTY(
        QList<lumarient::DiscoveredService> connectCandidates READ connectCandidates NOTIFY connectCandidatesChanged)
    Q_PROPERTY(QStringList knownEndpoints READ knownEndpoints NOTIFY knownEndpointsChanged)

public:
    struct Dependencies {
        DeviceManager &devices;
        const ADB &adb;
        UserDefaults &defaults;
        const Clock &clock;
        // Without it there is no Bonjour discovery.
        ServiceDiscovery *serviceDiscovery = nullptr;
        // Without it network changes go unseen.
        std::function<std::unique_ptr<NetworkPathMonitor>()> makePathMonitor = nullptr;
        // The interfaces the LAN scan sweeps; without them it only probes
        // remembered endpoints.
        const InterfaceSource *interfaces = nullptr;
        std::chrono::milliseconds bonjourRefreshInterval = Bonjour::refreshInterval;
    };

    explicit WirelessConnector(Dependencies dependencies, QObject *parent = nullptr);
    ~WirelessConnector() override;

    bool lanScanInProgress() const { return lanScanInProgress_; }
    const QList<DiscoveredService> &pairingCandidates() const { return pairingCandidates_; }
    const QList<DiscoveredService> &connectCandidates() const { return connectCandidates_; }
    // Endpoints that worked, most recent first, at most 12.
    const QStringList &knownEndpoints() const { return knownEndpoints_; }
    const std::optional<QRPairingSession> &activeQRSession() const { return activeQRSession_; }

    // Takes a cabled phone off the cable; a failure becomes the device manager's
    // lastError.
    void switchToWifi(const DeviceConfig &config);
    // A scan of remembered endpoints and the local subnet: automatic runs only
    // when due, manual ones whenever no scan is running.
    void runLANFallback(bool manual);
    bool shouldRunLANFallback() const;
    bool hasMissingConfiguredDevice() const;
    void rememberEndpoint(const QString &endpoint);
    void reconnectIfNeeded(const QList<DiscoveredService> &services);
    void pinToFixedPort(const ConnectedDevice &device);
    // Restarts discovery after a network change or a wake from sleep.
    void handleNetworkDisruption();
    // The computer woke from sleep.
    void systemDidWake() { handleNetworkDisruption(); }
    // Stops discovery and path watching; run when the app quits.
    void stop();

    // A new QR pairing session, replacing any earlier one.
    QRPairingSession startQRPairing();
    void autoPairIfQRSessionMatches(const QList<DiscoveredService> &services);
    // Pairs with `service` using `code`, connects the phone and refreshes, in
    // the background. `done` runs on the main thread with the text to show for
    // a failure (none on success), unless `context` is gone by then.
    void pairAndConnect(const DiscoveredService &service, const QString &code, QObject *context,
                        std::function<void(const std::optional<QString> &failure)> done);

signals:
    void lanScanInProgressChanged();
    void pairingCandidatesChanged();
    void connectCandidatesChanged();
    void knownEndpointsChanged();
    // Any published property changed.
    void changed();

private:
    void learnEndpoints(const QList<ConnectedDevice> &devices);
    void startBonjourBrowsers();
    void stopBonjourBrowsers();
    void startPathMonitor();
    void pathChanged(const QString &signature);
    void setPairingCandidates(const QList<DiscoveredService> &services);
    void setConnectCandidates(const QList<DiscoveredService> &services);
    void setLanScanInProgress(bool running);
    void finishLANFallback();
    // Runs on a worker: connects the candidates one after another.
    void connectAll(const QList<LANScanner::Candidate> &candidates, std::stop_token stop);
    std::optional<DiscoveredService> connectServiceOf(const QString &host) const;

    void background(std::function<void()> work);
    void onMain(std::function<void()> work);
    void publish(void (WirelessConnector::*signal)());

    DeviceManager &devices_;
    const ADB &adb_;
    UserDefaults &defaults_;
    const Clock &clock_;

    bool lanScanInProgress_ = false;
    QStringList knownEndpoints_;
    QHash<QString, Clock::TimePoint> lastReconnectAttempt_;
    std::optional<Clock::TimePoint> lastLANScan_;
    std::optional<Clock::TimePoint> lastBonjourResult_;
    Clock::TimePoint discoveryStartedAt_;
    QSet<QString> pinnedToFixedPort_;
    std::optional<QString> lastPathSignature_;
    std::optional<QRPairingSession> activeQRSession_;
    Clock::TimePoint qrSessionDeadline_;
    QList<DiscoveredService> pairingCandidates_;
    QList<DiscoveredService> connectCandidates_;
    std::unique_ptr<Bonjour> bonjour_;
    std::unique_ptr<BonjourBrowser> pairingBrowser_;
    std::unique_ptr<BonjourBrowser> connectBrowser_;
    std::function<std::unique_ptr<NetworkPathMonitor>()> makePathMonitor_;
    std::unique_ptr<NetworkPathMonitor> pathMonitor_;
    std::unique_ptr<LANScanner> scanner_;
    std::stop_source stop_;

    // Last: waits for background work before the state it reports to goes.
    QThreadPool pool_;
};

} // namespace lumarient
