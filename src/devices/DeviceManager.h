#pragma once

#include "devices/PendingOverlayCleanups.h"
#include "model/ConnectedDevice.h"
#include "model/DeviceConfig.h"
#include "model/SessionKind.h"
#include "platform/Clock.h"
#include "tooling/AdbDeviceTracker.h"
#include "tooling/Companion.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <functional>
#include <future>
#include <optional>

namespace lumarient {

class ADB;
class ScrcpySupervisor;
class Sleeper;
class ToolPaths;
class UserDefaults;

using SessionMap = QMap<QUuid, SessionKind>;

// The central model of the app: the phones adb sees, the saved per-phone
// configurations and the running screen sessions. Refreshes when the adb server
// reports a change of its device list and every few seconds besides, turns newly
// seen phone models into configurations, keeps the companion app installed and
// removes overlay displays that a session left behind.
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

public:
    struct Dependencies {
        const ToolPaths &paths;
        const ADB &adb;
        UserDefaults &defaults;
        const Clock &clock;
        // For the manager's own polls (the freeform switch of a new display).
        Sleeper &sleeper;
        // Starts the session windows and ends them when the app quits.
        ScrcpySupervisor &scrcpy;
        std::chrono::milliseconds pollInterval = std::chrono::milliseconds(3000);
        // Refresh at once when the adb server reports a change of the device
        // list; the poll stays as a safety net.
        bool trackDevices = true;
    };

    explicit DeviceManager(Dependencies dependencies, QObject *parent = nullptr);
    ~DeviceManager() override;

    const QList<ConnectedDevice> &devices() const { return devices_; }
    const QList<DeviceConfig> &configs() const { return configs_; }
    const SessionMap &runningSessions() const { return runningSessions_; }
    // A null text when there is nothing to show.
    const QString &lastError() const { return lastError_; }
    void setLastError(const QString &text);
    bool isRefreshing() const { return refreshing_; }
    const QSet<QString> &pendingOverlayCleanups() const { return pendingCleanups_.models(); }
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

signals:
    void devicesChanged();
    void configsChanged();
    void runningSessionsChanged();
    void lastErrorChanged();
    // Any published property changed.
    void changed();
    // A fresh device list has been stored, before new phones are adopted.
    void devicesListed(const QList<lumarient::ConnectedDevice> &devices);
    // A poll tick has started its refresh.
    void polled();
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

    std::optional<SessionStart> beginSession(const DeviceConfig &config, SessionKind kind);
    void endSession(const QUuid &id);
    bool launchPlain(const SessionStart &start, const QStringList &arguments);
    void prepareDesktop(const SessionStart &start, bool wantsStandby);
    void launchDesktop(const SessionStart &start, const QString &displayID);
    void desktopFailed(const SessionStart &start, const QString &description);
    void desktopExited(const SessionStart &start, std::shared_future<void> startAnnounced);
    void makeFreeform(const QString &serial);

    void background(std::function<void()> work);
    void onMain(std::function<void()> work);
    void publish(void (DeviceManager::*signal)());

    const ADB &adb_;
    UserDefaults &defaults_;
    const Clock &clock_;
    Sleeper &sleeper_;
    ScrcpySupervisor &scrcpy_;
    Companion companion_;
    PendingOverlayCleanups pendingCleanups_;

    QList<ConnectedDevice> devices_;
    QList<DeviceConfig> configs_;
    SessionMap runningSessions_;
    QString lastError_;

    QHash<QUuid, QPointer<QProcess>> scrcpyProcesses_;
    QTimer pollTimer_;
    AdbDeviceTracker tracker_;
    bool refreshing_ = false;
    // A change was reported while a refresh ran, so one more must follow.
    bool refreshAgain_ = false;
    QSet<QString> companionEnsured_;
    // Serials whose companion upkeep is still running.
    QSet<QString> companionBusy_;
    QHash<QString, Clock::TimePoint> recentlyRemovedModels_;

    // Last: waits for background work before the state it reports to goes.
    QThreadPool pool_;
};

} // namespace lumarient
