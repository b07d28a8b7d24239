#include "devices/DeviceManager.h"

#include "devices/ConfigAdoption.h"
#include "devices/ScrcpySupervisor.h"
#include "model/DeviceSelection.h"
#include "platform/UserDefaults.h"
#include "tooling/ADB.h"
#include "tooling/AdbServerClient.h"

#include <algorithm>

namespace lumarient {

DeviceManager::DeviceManager(Dependencies dependencies, QObject *parent)
    : QObject(parent), adb_(dependencies.adb), defaults_(dependencies.defaults), clock_(dependencies.clock),
      sleeper_(dependencies.sleeper), scrcpy_(dependencies.scrcpy), companion_(dependencies.paths, dependencies.adb),
      pendingCleanups_(dependencies.defaults), tracker_(AdbServerClient::portFromEnvironment())
{
    // Sessions, refreshes and companion checks of several phones must not wait
    // behind one hung adb command.
    pool_.setMaxThreadCount(16);

    configs_ = DeviceConfig::load(defaults_);

    refresh();

    if (dependencies.pollInterval.count() > 0) {
        pollTimer_.setInterval(int(dependencies.pollInterval.count()));
        connect(&pollTimer_, &QTimer::timeout, this, &DeviceManager::tick);
        pollTimer_.start();
    }
    if (dependencies.trackDevices) {
        connect(&tracker_, &AdbDeviceTracker::listed, this, [this](const QList<ConnectedDevice> &tracked) {
            if (refreshing_)
                refreshAgain_ = true;
            else if (tracked != devices_)
                refresh();
        });
        tracker_.start();
    }
}

DeviceManager::~DeviceManager()
{
    pollTimer_.stop();
    // Windows outlive nothing: their exit handlers find the manager gone and
    // only tidy up the process object.
    for (const QPointer<QProcess> &process : std::as_const(scrcpyProcesses_)) {
        if (process && process->state() != QProcess::NotRunning)
            process->terminate();
    }
    pool_.waitForDone();
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
    emit polled();
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
            discovered = ConfigAdoption::discoverConfigs(adb_, listed, knownModels);
        } catch (...) {
            discovered.clear();
        }
        onMain([this, listed, discovered] { applyRefresh(listed, discovered); });
    });
}

void DeviceManager::applyRefresh(const QList<ConnectedDevice> &listed, const QList<DeviceConfig> &discovered)
{
    setDevices(listed);
    emit devicesListed(listed);
    adopt(discovered);
    retryPendingCleanups();
    ensureCompanions();
    refreshing_ = false;
    emit refreshFinished();
    if (refreshAgain_) {
        refreshAgain_ = false;
        refresh();
    }
}

void DeviceManager::setDevices(const QList<ConnectedDevice> &devices)
{
    if (devices_ == devices)
        return;
    devices_ = devices;
    publish(&DeviceManager::devicesChanged);
}

void DeviceManager::adopt(QList<DeviceConfig> discovered)
{
    if (discovered.isEmpty())
        return;
    const bool appended = ConfigAdoption::adopt(configs_, std::move(discovered), recentlyRemovedModels_, clock_.now());
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

void DeviceManager::retryPendingCleanups()
{
    for (const ConnectedDevice &device : readyDevices()) {
        if (!pendingCleanups_.take(device.model))
            continue;
        background([this, model = device.model, serial = device.serial] {
            if (!adb_.deleteOverlayDisplay(serial))
                onMain([this, model] { rememberPendingCleanup(model); });
        });
    }
}

void DeviceManager::rememberPendingCleanup(const QString &model)
{
    pendingCleanups_.remember(model);
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
