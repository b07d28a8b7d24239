// The screen sessions of the device manager: scrcpy windows showing a phone's
// own screen, an overlay display made for the desktop, or a virtual display.

#include "devices/DeviceManager.h"
#include "devices/ScrcpySupervisor.h"
#include "model/LumarientError.h"
#include "platform/Sleeper.h"
#include "tooling/ADB.h"
#include "tooling/Scrcpy.h"

#include <vector>

namespace lumarient {
namespace {

using namespace std::chrono_literals;

const QString standbyFailure = QStringLiteral("Wi-Fi standby unavailable: ");

} // namespace

std::optional<DeviceManager::SessionStart> DeviceManager::beginSession(const DeviceConfig &config, SessionKind kind)
{
    const std::optional<ConnectedDevice> device = connectedDevice(config);
    if (!device || runningSessions_.contains(config.id))
        return std::nullopt;
    // Made before any adb work, so a second start while this one prepares is ignored.
    runningSessions_.insert(config.id, kind);
    publish(&DeviceManager::runningSessionsChanged);
    return SessionStart{config.id,         device->serial,      device->isWifi, config.name,
                        config.resolution, config.modelPattern, config.wifiPort};
}

void DeviceManager::endSession(const QUuid &id)
{
    scrcpyProcesses_.remove(id);
    if (runningSessions_.remove(id) > 0)
        publish(&DeviceManager::runningSessionsChanged);
}

void DeviceManager::fail(const QUuid &id, const QString &description)
{
    setLastError(description);
    endSession(id);
}

bool DeviceManager::launchPlain(const SessionStart &start, const QStringList &arguments)
{
    const QPointer<DeviceManager> self(this);
    const QUuid id = start.id;
    try {
        const QPointer<QProcess> process = scrcpy_.launch(arguments, nullptr, [self, id] {
            if (self)
                self->endSession(id);
        });
        scrcpyProcesses_.insert(id, process);
        return true;
    } catch (const ShellError &error) {
        fail(id, error.description());
        return false;
    }
}

void DeviceManager::startMirror(const DeviceConfig &config)
{
    const std::optional<SessionStart> start = beginSession(config, SessionKind::mirror);
    if (start)
        launchPlain(*start, Scrcpy::mirrorArguments(start->serial, start->name, start->isWifi));
}

void DeviceManager::startVirtualDesktop(const DeviceConfig &config)
{
    const std::optional<SessionStart> start = beginSession(config, SessionKind::virtualDesktop);
    if (!start)
        return;
    background([this, start = *start] {
        // A desktop session may have left its overlay display behind.
        adb_.deleteOverlayDisplay(start.serial);
        onMain([this, start] {
            if (launchPlain(start,
                            Scrcpy::virtualDesktopArguments(start.serial, start.resolution, start.name, start.isWifi)))
                background([this, serial = start.serial] { makeFreeform(serial); });
        });
    });
}

void DeviceManager::makeFreeform(const QString &serial)
{
    for (int round = 0; round < 20; ++round) {
        try {
            sleeper_.sleep(300ms, std::stop_token());
        } catch (const OperationCancelled &) {
        }
        if (const std::optional<int> id = adb_.newestScrcpyDisplayID(serial)) {
            adb_.setDisplayFreeform(serial, *id);
            return;
        }
    }
}

void DeviceManager::startDesktop(const DeviceConfig &config)
{
    const std::optional<SessionStart> start = beginSession(config, SessionKind::desktop);
    if (!start)
        return;
    // A cabled phone without a wireless link gets one, so the session can go on
    // when the cable comes out.
    const bool wantsStandby = !start->isWifi && !wifiDevice(config);
    background([this, start = *start, wantsStandby] { prepareDesktop(start, wantsStandby); });
}

void DeviceManager::prepareDesktop(const SessionStart &start, bool wantsStandby)
{
    if (wantsStandby && !companion_.isReady(start.serial)) {
        QString failure;
        try {
            adb_.switchToWifi(start.serial, start.wifiPort, std::stop_token());
        } catch (const ShellError &error) {
            failure = error.description();
        } catch (const LumarientError &error) {
            failure = error.description();
        } catch (const OperationCancelled &) {
        }
        if (!failure.isNull())
            onMain([this, failure] { setLastError(standbyFailure + failure); });
        adb_.waitUntilReady(start.serial);
    }
    QString displayID;
    try {
        displayID = adb_.createOverlayDisplay(start.serial, start.resolution, std::stop_token());
    } catch (const ShellError &error) {
        desktopFailed(start, error.description());
        return;
    } catch (const LumarientError &error) {
        desktopFailed(start, error.description());
        return;
    } catch (const OperationCancelled &error) {
        desktopFailed(start, QString::fromUtf8(error.what()));
        return;
    }
    onMain([this, start, displayID] { launchDesktop(start, displayID); });
}

void DeviceManager::launchDesktop(const SessionStart &start, const QString &displayID)
{
    auto announced = std::make_shared<std::promise<void>>();
    const std::shared_future<void> startAnnounced = announced->get_future().share();
    const QPointer<DeviceManager> self(this);
    QPointer<QProcess> process;
    try {
        process = scrcpy_.launch(Scrcpy::desktopArguments(start.serial, displayID, start.name, start.isWifi), nullptr,
                                 [self, start, startAnnounced] {
                                     if (self)
                                         self->desktopExited(start, startAnnounced);
                                 });
    } catch (const ShellError &error) {
        background([this, start, description = error.description()] { desktopFailed(start, description); });
        return;
    }
    scrcpyProcesses_.insert(start.id, process);
    const QString transport = start.isWifi ? QStringLiteral("wifi") : QStringLiteral("usb");
    background([this, serial = start.serial, transport, announced] {
        companion_.notifySession(serial, QStringLiteral("started"), transport);
        announced->set_value();
        // A Wi-Fi standby made while preparing shows at once.
        onMain([this] { refresh(); });
    });
}

void DeviceManager::desktopFailed(const SessionStart &start, const QString &description)
{
    const bool deleted = adb_.deleteOverlayDisplay(start.serial);
    onMain([this, start, description, deleted] {
        setLastError(description);
        endSession(start.id);
        if (!deleted)
            overlayCleanupFailed(start.modelPattern, start.serial);
    });
}

void DeviceManager::desktopExited(const SessionStart &start, std::shared_future<void> startAnnounced)
{
    background([this, start, startAnnounced] {
        // "ended" must never reach the companion before "started".
        startAnnounced.wait();
        const bool deleted = adb_.deleteOverlayDisplay(start.serial);
        companion_.notifySession(start.serial, QStringLiteral("ended"));
        onMain([this, start, deleted] {
            endSession(start.id);
            if (!deleted)
                overlayCleanupFailed(start.modelPattern, start.serial);
        });
    });
}

void DeviceManager::stopSession(const DeviceConfig &config)
{
    const QPointer<QProcess> process = scrcpyProcesses_.value(config.id);
    if (process && process->state() != QProcess::NotRunning)
        process->terminate();
}

void DeviceManager::terminateAllSessions()
{
    for (const QPointer<QProcess> &process : std::as_const(scrcpyProcesses_)) {
        if (process && process->state() != QProcess::NotRunning)
            process->terminate();
    }

    std::vector<PendingOverlayCleanups::OpenDesktop> desktops;
    for (auto session = runningSessions_.cbegin(); session != runningSessions_.cend(); ++session) {
        if (session.value() != SessionKind::desktop)
            continue;
        const auto config = std::find_if(configs_.cbegin(), configs_.cend(),
                                         [&](const DeviceConfig &candidate) { return candidate.id == session.key(); });
        if (config == configs_.cend())
            continue;
        const std::optional<ConnectedDevice> device = connectedDevice(*config);
        desktops.push_back({config->modelPattern, device ? std::optional(device->serial) : std::nullopt});
    }
    pendingCleanups_.removeAtQuit(desktops, adb_, companion_);
}

} // namespace lumarient
