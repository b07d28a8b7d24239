#pragma once

#include "devices/ConnectedDevice.h"
#include "devices/DeviceConfig.h"
#include "devices/QRPairingSession.h"
#include "devices/SessionKind.h"
#include "platform/Clock.h"
#include "platform/NetworkPathMonitor.h"
#include "tooling/Companion.h"
#include "wireless/Bonjour.h"
#include "wireless/DiscoveredService.h"
#include "wireless/LANScanner.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <stop_token>

namespace lumarient {

class ADB;
class InterfaceSource;
class ServiceDiscovery;
class Sleeper;
class ToolPaths;
class UserDefaults;

using SessionMap = QMap<QUuid, SessionKind>;

// The central model of the app: the phones adb sees, the saved per-phone
// configurations and the running screen sessions. Polls adb every few seconds,
// turns newly seen phone models into configurations, keeps the companion app
// installed and removes overlay displays that a session left behind.
//
// All state belongs to the thread the manager lives on (the main thread). adb
// runs in background work on copies of the values it needs, which hops back
// with queued calls to change state; so the manager never blocks on a phone.
class DeviceManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<lumarient::ConnectedDevice> devices READ devices NOTIFY devicesChanged)
    Q_PROPERTY(QList<lumarient::DeviceConfig> configs READ configs NOTIFY configsChanged)
    Q_PROPERTY(lumarient::SessionMap runningSessions READ runningSessions NOTIFY runningSessionsChanged)
    Q_PROPERTY(QString lastError READ lastError NOTIFY lastErrorChanged)
    Q_PROPERTY(bool lanScanInProgress READ lanScanInProgress NOTIFY lanScanInProgressChanged)
    Q_PROPERTY(
        QList<lumarient::DiscoveredService> pairingCandidates READ pairingCandidates NOTIFY pairingCandidatesChanged)
    Q_PROPERTY(
        QList<lumarient::DiscoveredService> connectCandidates READ connectCandidates NOTIFY connectCandidatesChanged)
    Q_PROPERTY(QStringList knownEndpoints READ knownEndpoints NOTIFY knownEndpointsChanged)

public:
    struct Dependencies {
        const ToolPaths &paths;
        const ADB &adb;
        UserDefaults &defaults;
        const Clock &clock;
        // For the manager's own polls (the freeform switch of a new display).
        Sleeper &sleeper;
        std::chrono::milliseconds pollInterval = std::chrono::milliseconds(3000);
        // Wireless discovery; without it the manager runs without Bonjour.
        ServiceDiscovery *serviceDiscovery = nullptr;
        // Makes the network path monitor; without it network changes go unseen.
        std::function<std::unique_ptr<NetworkPathMonitor>()> makePathMonitor = nullptr;
        // The interfaces the LAN scan sweeps; without them it only probes
        // remembered endpoints.
        const InterfaceSource *interfaces = nullptr;
        std::chrono::milliseconds bonjourRefreshInterval = Bonjour::refreshInterval;
    };

    explicit DeviceManager(Dependencies dependencies, QObject *parent = nullptr);
    ~DeviceManager() override;

    // The app's one manager, made by main(); null before that.
    static DeviceManager *shared();
    static void setShared(DeviceManager *manager);

    const QList<ConnectedDevice> &devices() const { return devices_; }
    const QList<DeviceConfig> &configs() const { return configs_; }
    const SessionMap &runningSessions() const { return runningSessions_; }
    // A null text when there is nothing to show.
    const QString &lastError() const { return lastError_; }
    void setLastError(const QString &text);
    bool lanScanInProgress() const { return lanScanInProgress_; }
    const QList<DiscoveredService> &pairingCandidates() const { return pairingCandidates_; }
    const QList<DiscoveredService> &connectCandidates() const { return connectCandidates_; }
    // Endpoints that worked, most recent first, at most 12.
    const QStringList &knownEndpoints() const { return knownEndpoints_; }
    const std::optional<QRPairingSession> &activeQRSession() const { return activeQRSession_; }
    bool isRefreshing() const { return refreshing_; }
    QSet<QString> pendingOverlayCleanups() const { return pendingOverlayCleanups_; }
    bool hasSessionProcess(const QUuid &id) const;

    // Starts one refresh unless one is running; returns at once.
    void refresh();
    QList<ConnectedDevice> readyDevices() const;
    QList<ConnectedDevice> pendingDevices() const;
    // The ready phone that serves `config`, a cabled one first.
    std::optional<ConnectedDevice> connectedDevice(const DeviceConfig &config) const;
    std::optional<ConnectedDevice> wifiDevice(const DeviceConfig &config) const;
    QString displayName(const ConnectedDevice &device) const;
    void removeConfig(const QUuid &id);
    // Replaces the configurations (the settings window's edits) and saves them.
    void setConfigs(const QList<DeviceConfig> &configs);

    // Screen sessions; each returns at once, one session per configuration.
    void startMirror(const DeviceConfig &config);
    void startDesktop(const DeviceConfig &config);
    void startVirtualDesktop(const DeviceConfig &config);
    void stopSession(const DeviceConfig &config);
    void fail(const QUuid &id, const QString &description);

    void rememberPendingCleanup(const QString &model);
    void overlayCleanupFailed(const QString &model, const QString &deadSerial);
    // Run when the application is about to quit.
    void terminateAllSessions();
    // The computer woke from sleep.
    void systemDidWake();

    // Wireless policy (DeviceManagerWireless.cpp).
    // Takes a cabled phone off the cable; a failure becomes lastError.
    void switchToWifi(const DeviceConfig &config);
    // A scan of remembered endpoints and the local subnet: automatic runs only
    // when due, manual ones whenever no scan is running.
    void runLANFallback(bool manual);
    bool shouldRunLANFallback() const;
    bool hasMissingConfiguredDevice() const;
    void rememberEndpoint(const QString &endpoint);
    void reconnectIfNeeded(const QList<DiscoveredService> &services);
    void pinToFixedPort(const ConnectedDevice &device);
    // A new QR pairing session, replacing any earlier one.
    QRPairingSession startQRPairing();
    void autoPairIfQRSessionMatches(const QList<DiscoveredService> &services);
    // Pairs with `service` using `code`, connects the phone and refreshes, in
    // the background. `done` runs on the main thread with the text to show for
    // a failure (none on success), unless `context` is gone by then.
    void pairAndConnect(const DiscoveredService &service, const QString &code, QObject *context,
                        std::function<void(const std::optional<QString> &failure)> done);

    // Runs in the background: configurations for ready phones of models not in
    // `knownModels`, one per model, in device order.
    static QList<DeviceConfig> discoverConfigs(const ADB &adb, const QList<ConnectedDevice> &devices,
                                               const QStringList &knownModels);

signals:
    void devicesChanged();
    void configsChanged();
    void runningSessionsChanged();
    void lastErrorChanged();
    void lanScanInProgressChanged();
    void pairingCandidatesChanged();
    void connectCandidatesChanged();
    void knownEndpointsChanged();
    // Any published property changed.
    void changed();
    // A refresh has been applied (also when it failed).
    void refreshFinished();

private:
    // What a session's background work needs, copied off the main thread.
    struct SessionStart {
        QUuid id;
        QString serial;
        bool isWifi = false;
        QString name;
        QString resolution;
        QString modelPattern;
        int wifiPort = 0;
    };

    void tick();
    void applyRefresh(const QList<ConnectedDevice> &listed, const QList<DeviceConfig> &discovered);
    void setDevices(const QList<ConnectedDevice> &devices);
    void adopt(QList<DeviceConfig> discovered);
    void retryPendingCleanups();
    void ensureCompanions();
    void storePendingCleanups();

    std::optional<SessionStart> beginSession(const DeviceConfig &config, SessionKind kind);
    void endSession(const QUuid &id);
    bool launchPlain(const SessionStart &start, const QStringList &arguments);
    void prepareDesktop(const SessionStart &start, bool wantsStandby);
    void launchDesktop(const SessionStart &start, const QString &displayID);
    void desktopFailed(const SessionStart &start, const QString &description);
    void desktopExited(const SessionStart &start, std::shared_future<void> startAnnounced);
    void makeFreeform(const QString &serial);

    // Wireless policy (DeviceManagerWireless.cpp).
    void learnEndpoints(const QList<ConnectedDevice> &devices);
    void startBonjourBrowsers();
    void stopBonjourBrowsers();
    void startPathMonitor();
    void cancelPathMonitor();
    void handleNetworkDisruption();
    void pathChanged(const QString &signature);
    // Stops discovery, path watching and every wireless wait, so that the
    // background work the destructor waits for ends soon.
    void stopWirelessWork();
    void setPairingCandidates(const QList<DiscoveredService> &services);
    void setConnectCandidates(const QList<DiscoveredService> &services);
    void setLanScanInProgress(bool running);
    void finishLANFallback();
    // Runs on a worker: connects the candidates one after another.
    void connectAll(const QList<LANScanner::Candidate> &candidates, std::stop_token stop);
    std::optional<DiscoveredService> connectServiceOf(const QString &host) const;
    static const InterfaceSource &noInterfaces();

    void background(std::function<void()> work);
    void onMain(std::function<void()> work);
    void publish(void (DeviceManager::*signal)());

    const ToolPaths &paths_;
    const ADB &adb_;
    UserDefaults &defaults_;
    const Clock &clock_;
    Sleeper &sleeper_;
    Companion companion_;

    QList<ConnectedDevice> devices_;
    QList<DeviceConfig> configs_;
    SessionMap runningSessions_;
    QString lastError_;
    bool lanScanInProgress_ = false;

    QHash<QUuid, QPointer<QProcess>> scrcpyProcesses_;
    QTimer pollTimer_;
    bool refreshing_ = false;
    QSet<QString> pendingOverlayCleanups_;
    QSet<QString> companionEnsured_;
    // Serials whose companion upkeep is still running.
    QSet<QString> companionBusy_;
    QHash<QString, Clock::TimePoint> recentlyRemovedModels_;

    // Wireless policy state.
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
    std::stop_source wirelessStop_;

    // Last: waits for background work before the state it reports to goes.
    QThreadPool pool_;
};

} // namespace lumarient
