#include "devices/DeviceManager.h"

#include "devices/DeviceSelection.h"
#include "platform/UserDefaults.h"
#include "tooling/ADB.h"
#include "tooling/DeviceCapabilities.h"

#include <QCoreApplication>

#include <algorithm>

namespace lumarient {
namespace {

const QString pendingCleanupsKey = QStringLiteral("pendingOverlayCleanups");
const QString knownEndpointsKey = QStringLiteral("knownWifiEndpoints");
constexpr std::chrono::seconds readoptionDelay(5);

DeviceManager *sharedManager = nullptr;

} // namespace

DeviceManager::DeviceManager(Dependencies dependencies, QObject *parent)
    : QObject(parent), paths_(dependencies.paths), adb_(dependencies.adb), defaults_(dependencies.defaults),
      clock_(dependencies.clock), sleeper_(dependencies.sleeper), companion_(dependencies.paths, dependencies.adb)
{
    // Sessions, refreshes and companion checks of several phones must not wait
    // behind one hung adb command.
    pool_.setMaxThreadCount(16);

    configs_ = DeviceConfig::load(defaults_);
    const QStringList pending = defaults_.stringArray(pendingCleanupsKey);
    pendingOverlayCleanups_ = QSet<QString>(pending.begin(), pending.end());
    knownEndpoints_ = defaults_.stringArray(knownEndpointsKey);
    discoveryStartedAt_ = clock_.now();
    scanner_ = std::make_unique<LANScanner>(dependencies.interfaces ? *dependencies.interfaces : noInterfaces());
    makePathMonitor_ = std::move(dependencies.makePathMonitor);
    if (dependencies.serviceDiscovery)
        bonjour_ = std::make_unique<Bonjour>(*dependencies.serviceDiscovery, dependencies.bonjourRefreshInterval);

    refresh();

    if (dependencies.pollInterval.count() > 0) {
        pollTimer_.setInterval(int(dependencies.pollInterval.count()));
        connect(&pollTimer_, &QTimer::timeout, this, &DeviceManager::tick);
        pollTimer_.start();
    }
    startBonjourBrowsers();
    if (QCoreApplication *application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &DeviceManager::terminateAllSessions);
    startPathMonitor();
}

DeviceManager::~DeviceManager()
{
    if (sharedManager == this)
        sharedManager = nullptr;
    pollTimer_.stop();
    stopWirelessWork();
    // Windows outlive nothing: their exit handlers find the manager gone and
    // only tidy up the process object.
    for (const QPointer<QProcess> &process : std::as_const(scrcpyProcesses_)) {
        if (process && process->state() != QProcess::NotRunning)
            process->terminate();
    }
    pool_.waitForDone();
}

DeviceManager *DeviceManager::shared()
{
    return sharedManager;
}

void DeviceManager::setShared(DeviceManager *manager)
{
    sharedManager = manager;
}

void DeviceManager::background(std::function<void()> work)
{
    pool_.start(std::move(work));
}

void DeviceManager::onMain(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void DeviceManager::publish(void (DeviceManager::*signal)())
{
    emit(this->*signal)();
    emit changed();
}

void DeviceManager::setLastError(const QString &text)
{
    if (lastError_ == text && lastError_.isNull() == text.isNull())
        return;
    lastError_ = text;
    publish(&DeviceManager::lastErrorChanged);
}

bool DeviceManager::hasSessionProcess(const QUuid &id) const
{
    return !scrcpyProcesses_.value(id).isNull();
}

void DeviceManager::tick()
{
    refresh();
    runLANFallback(false);
}

void DeviceManager::refresh()
{
    if (refreshing_)
        return;
    refreshing_ = true;
    QStringList knownModels;
    for (const DeviceConfig &config : std::as_const(configs_))
        knownModels.append(config.modelPattern);

    background([this, knownModels] {
        QList<ConnectedDevice> listed;
        QList<DeviceConfig> discovered;
        // Whatever goes wrong, the main-thread part must run, or `refreshing`
        // would stay set and no refresh would ever run again.
        try {
            listed = adb_.listDevices();
        } catch (...) {
            listed.clear();
        }
        try {
            discovered = discoverConfigs(adb_, listed, knownModels);
        } catch (...) {
            discovered.clear();
        }
        onMain([this, listed, discovered] { applyRefresh(listed, discovered); });
    });
}

void DeviceManager::applyRefresh(const QList<ConnectedDevice> &listed, const QList<DeviceConfig> &discovered)
{
    setDevices(listed);
    learnEndpoints(listed);
    adopt(discovered);
    retryPendingCleanups();
    ensureCompanions();
    refreshing_ = false;
    emit refreshFinished();
}

void DeviceManager::setDevices(const QList<ConnectedDevice> &devices)
{
    if (devices_ == devices)
        return;
    devices_ = devices;
    publish(&DeviceManager::devicesChanged);
}

QList<DeviceConfig> DeviceManager::discoverConfigs(const ADB &adb, const QList<ConnectedDevice> &devices,
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

void DeviceManager::adopt(QList<DeviceConfig> discovered)
{
    if (discovered.isEmpty())
        return;
    const Clock::TimePoint now = clock_.now();
    int nextPort = 5554;
    for (const DeviceConfig &config : std::as_const(configs_))
        nextPort = std::max(nextPort, config.wifiPort);
    ++nextPort;

    bool appended = false;
    for (DeviceConfig &config : discovered) {
        const bool known = std::any_of(configs_.cbegin(), configs_.cend(), [&](const DeviceConfig &current) {
            return current.modelPattern == config.modelPattern;
        });
        if (known)
            continue;
        const auto removed = recentlyRemovedModels_.constFind(config.modelPattern);
        if (removed != recentlyRemovedModels_.cend() && now - *removed < readoptionDelay)
            continue;
        config.wifiPort = nextPort++;
        configs_.append(config);
        appended = true;
    }
    DeviceConfig::save(defaults_, configs_);
    if (appended)
        publish(&DeviceManager::configsChanged);
}

void DeviceManager::setConfigs(const QList<DeviceConfig> &configs)
{
    DeviceConfig::save(defaults_, configs);
    if (configs_ == configs)
        return;
    configs_ = configs;
    publish(&DeviceManager::configsChanged);
}

QList<ConnectedDevice> DeviceManager::readyDevices() const
{
    return lumarient::readyDevices(devices_);
}

QList<ConnectedDevice> DeviceManager::pendingDevices() const
{
    return lumarient::pendingDevices(devices_);
}

std::optional<ConnectedDevice> DeviceManager::connectedDevice(const DeviceConfig &config) const
{
    return lumarient::connectedDevice(devices_, config);
}

std::optional<ConnectedDevice> DeviceManager::wifiDevice(const DeviceConfig &config) const
{
    return lumarient::wifiDevice(devices_, config);
}

QString DeviceManager::displayName(const ConnectedDevice &device) const
{
    return lumarient::displayName(configs_, device);
}

void DeviceManager::removeConfig(const QUuid &id)
{
    const auto found =
        std::find_if(configs_.cbegin(), configs_.cend(), [&](const DeviceConfig &config) { return config.id == id; });
    if (found == configs_.cend())
        return;
    const QString model = found->modelPattern;
    if (const QPointer<QProcess> process = scrcpyProcesses_.value(id); process)
        process->terminate();
    configs_.removeIf([&](const DeviceConfig &config) { return config.id == id; });
    DeviceConfig::save(defaults_, configs_);
    recentlyRemovedModels_.insert(model, clock_.now());
    publish(&DeviceManager::configsChanged);

    for (const ConnectedDevice &device : std::as_const(devices_)) {
        if (device.model != model || !device.serial.contains(QLatin1Char(':')))
            continue;
        const QString serial = device.serial;
        background([this, serial] { adb_.succeeds({QStringLiteral("disconnect"), serial}); });
    }
}

void DeviceManager::ensureCompanions()
{
    for (const ConnectedDevice &device : readyDevices()) {
        const QString serial = device.serial;
        // A phone whose adb hangs would otherwise collect one more stuck task at
        // every tick; the reversal is lasting, so skipping a tick loses nothing.
        if (companionBusy_.contains(serial))
            continue;
        const bool firstTime = !companionEnsured_.contains(serial);
        companionEnsured_.insert(serial);
        companionBusy_.insert(serial);
        background([this, serial, firstTime] {
            if (firstTime)
                companion_.ensure(serial);
            companion_.enableTransfer(serial);
            onMain([this, serial] { companionBusy_.remove(serial); });
        });
    }
}

void DeviceManager::storePendingCleanups()
{
    QStringList models(pendingOverlayCleanups_.cbegin(), pendingOverlayCleanups_.cend());
    models.sort();
    defaults_.setValue(pendingCleanupsKey, models);
}

void DeviceManager::retryPendingCleanups()
{
    if (pendingOverlayCleanups_.isEmpty())
        return;
    for (const ConnectedDevice &device : readyDevices()) {
        if (!pendingOverlayCleanups_.contains(device.model))
            continue;
        const QString model = device.model;
        const QString serial = device.serial;
        pendingOverlayCleanups_.remove(model);
        storePendingCleanups();
        background([this, model, serial] {
            if (!adb_.deleteOverlayDisplay(serial))
                onMain([this, model] { rememberPendingCleanup(model); });
        });
    }
}

void DeviceManager::rememberPendingCleanup(const QString &model)
{
    pendingOverlayCleanups_.insert(model);
    storePendingCleanups();
}

void DeviceManager::overlayCleanupFailed(const QString &model, const QString &deadSerial)
{
    for (const ConnectedDevice &device : std::as_const(devices_)) {
        if (device.state != DeviceState::ready || device.model != model || device.serial == deadSerial)
            continue;
        const QString serial = device.serial;
        background([this, model, serial] {
            if (!adb_.deleteOverlayDisplay(serial))
                onMain([this, model] { rememberPendingCleanup(model); });
        });
        return;
    }
    rememberPendingCleanup(model);
}

} // namespace lumarient
