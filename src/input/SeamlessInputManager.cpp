#include "input/SeamlessInputManager.h"

#include "devices/ScrcpySupervisor.h"
#include "display/DisplayGeometryCache.h"
#include "display/VirtualDisplay.h"
#include "input/InputServer.h"
#include "input/SeamlessCapture.h"
#include "input/WindowDragControl.h"
#include "model/LumarientError.h"
#include "platform/Clock.h"
#include "platform/DisplayLayout.h"
#include "platform/InputTap.h"
#include "platform/Log.h"
#include "platform/SessionLockWatcher.h"
#include "platform/UserDefaults.h"
#include "platform/WindowList.h"
#include "tooling/ADB.h"
#include "tooling/FailureText.h"
#include "tooling/ShellError.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace lumarient {
namespace {

void log(const QString &message)
{
    logLine(QStringLiteral("SeamlessInputManager"), message);
}

bool contains(const DisplayRect &rect, TapPoint point)
{
    return point.x >= rect.x && point.x < rect.right() && point.y >= rect.y && point.y < rect.bottom();
}

} // namespace

SeamlessInputManager::SeamlessInputManager(Platform platform, Dependencies dependencies, QObject *parent)
    : QObject(parent), platform_(platform), dependencies_(dependencies)
{
    if (platform_.sessionLock != nullptr)
        platform_.sessionLock->setLockHandler([this] { sessionLocked(); });
}

SeamlessInputManager::~SeamlessInputManager()
{
    if (platform_.sessionLock != nullptr)
        platform_.sessionLock->setLockHandler({});
    pool_.waitForDone();
    stopAll();
}

QStringList SeamlessInputManager::audioArguments(const QString &serial)
{
    return {QStringLiteral("-s"),
            serial,
            QStringLiteral("--no-video"),
            QStringLiteral("--no-window"),
            QStringLiteral("--keyboard=disabled"),
            QStringLiteral("--mouse=disabled"),
            QStringLiteral("--gamepad=disabled"),
            QStringLiteral("--window-title=Lumarient Audio")};
}

QString SeamlessInputManager::defaultInputSourceTree()
{
    return InputServer::defaultSourceTree();
}

QString SeamlessInputManager::placementKey(const QUuid &configID)
{
    return QStringLiteral("keyboardMousePlacement-") + configID.toString(QUuid::WithoutBraces).toUpper();
}

QString SeamlessInputManager::pointerSpeedKey(const QUuid &configID)
{
    return QStringLiteral("keyboardMousePointerSpeed-") + configID.toString(QUuid::WithoutBraces).toUpper();
}

void SeamlessInputManager::start(const DeviceConfig &config, const ConnectedDevice &device)
{
    QStringList active;
    for (const auto &[id, session] : sessions_)
        active.append(id.toString(QUuid::WithoutBraces).toUpper());
    log(QStringLiteral("start() config=") + config.id.toString(QUuid::WithoutBraces).toUpper() +
        QStringLiteral(" already active=[") + active.join(QStringLiteral(", ")) + QLatin1Char(']'));
    if (sessions_.count(config.id) > 0 || starting_.count(config.id) > 0)
        return;
    if (platform_.tap == nullptr) {
        lastError_ = QStringLiteral("Keyboard & mouse sharing isn't available on this desktop yet.");
        emit changed();
        return;
    }
    starting_.insert(config.id);
    PendingStart pending{config.id, config.name, device.serial, std::nullopt};
    QPointer<SeamlessInputManager> self(this);
    const ADB *adb = &dependencies_.adb;
    pool_.start([self, adb, pending]() mutable {
        if (const std::optional<ScreenSize> size = adb->screenSize(pending.serial))
            pending.phoneSize = std::pair{size->width, size->height};
        QMetaObject::invokeMethod(
            self.data(),
            [self, pending] {
                if (self)
                    self->continueStart(pending);
            },
            Qt::QueuedConnection);
    });
}

void SeamlessInputManager::continueStart(const PendingStart &pending)
{
    // Stopped while the phone was asked for its size.
    if (starting_.count(pending.configID) == 0)
        return;
    const std::optional<DisplayRect> main = mainDisplayBounds();
    std::shared_ptr<VirtualDisplay> display;
    if (main && platform_.monitors != nullptr) {
        display = VirtualDisplay::create(*platform_.monitors, pending.name + QStringLiteral(" — Keyboard & Mouse"),
                                         main->width, main->height, 60.0);
    }
    if (display == nullptr) {
        lastError_ = QStringLiteral("Second-display support isn't available on this desktop.");
        starting_.erase(pending.configID);
        emit changed();
        return;
    }
    const std::uint64_t generation = ++generation_;
    Session session;
    session.serial = pending.serial;
    session.display = display;
    session.server = std::make_unique<InputServer>(
        InputServer::Dependencies{dependencies_.paths, SteadyClock::instance(), dependencies_.inputSourceTree}, this);
    session.generation = generation;
    sessions_[pending.configID] = std::move(session);
    activeConfigIDs_.insert(pending.configID);
    lastStartedConfigID_ = pending.configID;
    starting_.erase(pending.configID);
    emit changed();
    waitForNonZeroBounds(pending.configID, generation, boundsPolls, pending.phoneSize);
}

void SeamlessInputManager::waitForNonZeroBounds(const QUuid &configID, std::uint64_t generation, int pollsLeft,
                                                std::optional<std::pair<int, int>> phoneSize)
{
    if (!isLive(configID, generation))
        return;
    const std::uint32_t displayID = sessions_.at(configID).display->displayID();
    if (!platform_.layout->displayBounds(displayID).isEmpty()) {
        placeStandIn(configID);
        startServer(configID, generation, phoneSize);
        return;
    }
    if (pollsLeft <= 0) {
        fail(configID, LumarientError::message(QStringLiteral("The phone's stand-in display never registered its "
                                                              "position."))
                           .description());
        return;
    }
    QPointer<SeamlessInputManager> self(this);
    QTimer::singleShot(boundsPollIntervalMs, this, [self, configID, generation, pollsLeft, phoneSize] {
        if (self)
            self->waitForNonZeroBounds(configID, generation, pollsLeft - 1, phoneSize);
    });
}

void SeamlessInputManager::placeStandIn(const QUuid &configID)
{
    Session &session = sessions_.at(configID);
    const std::optional<Placement> placement = rememberedPlacement(configID);
    const std::optional<DisplayRect> main = mainDisplayBounds();
    std::optional<std::pair<int, int>> refused;
    if (placement && main) {
        const auto origin = standInOrigin(*placement, *main, session.display->width(), session.display->height());
        if (origin && session.display->moveTo(origin->first, origin->second)) {
            placementNotice_.reset();
            standInMoved();
            return;
        }
        refused = origin;
    }
    session.display->placeAdjacentToMainDisplay();
    standInMoved();
    if (!refused)
        return;
    // The user's own displays are not moved to make room: their windows would
    // move with them. The stand-in stays where it can be, and the user is told.
    const DisplayRect bounds = platform_.layout->displayBounds(session.display->displayID());
    const QString where =
        bounds.isEmpty() ? QStringLiteral("beside your other displays") : placementPhrase(placementOf(bounds, *main));
    const bool beyondOrigin = refused->first < 0 || refused->second < 0;
    QString text = QStringLiteral("The phone's display can't be placed ") + placementPhrase(*placement) +
                   (beyondOrigin ? QStringLiteral(": your main display starts at the top-left corner of the screen, "
                                                  "and nothing can lie left of or above it on this desktop.")
                                 : QStringLiteral(" on this desktop.")) +
                   QStringLiteral(" It is ") + where + QStringLiteral(" instead.");
    log(text);
    placementNotice_ = text;
    lastError_ = text;
    emit changed();
}

void SeamlessInputManager::standInMoved()
{
    if (geometry_)
        geometry_->invalidate();
    if (capture_)
        capture_->standInsMoved();
}

void SeamlessInputManager::startServer(const QUuid &configID, std::uint64_t generation,
                                       std::optional<std::pair<int, int>> phoneSize)
{
    Session &session = sessions_.at(configID);
    QPointer<SeamlessInputManager> self(this);
    session.server->start(
        session.serial,
        [self, configID, generation, phoneSize](std::exception_ptr failure) {
            if (!self || !self->isLive(configID, generation))
                return;
            if (failure) {
                self->fail(configID, failureText(failure));
                return;
            }
            if (!self->beginCapture(configID, phoneSize))
                return;
            const QString serial = self->sessions_.at(configID).serial;
            self->startAudio(configID, serial);
            if (self->platform_.drags != nullptr)
                self->platform_.drags->enableDrag(serial);
        },
        [self, configID, generation] {
            if (self && self->isLive(configID, generation))
                self->endSession(configID);
        });
}

bool SeamlessInputManager::beginCapture(const QUuid &configID, std::optional<std::pair<int, int>> phoneSize)
{
    if (!capture_) {
        geometry_ = std::make_unique<DisplayGeometryCache>(*platform_.layout);
        WindowList *windows = platform_.windows;
        DisplayGeometryCache *geometry = geometry_.get();
        capture_ = std::make_unique<SeamlessCapture>(SeamlessCapture::Dependencies{
            *platform_.tap, *geometry_, [this, windows, geometry](TapPoint point) {
                // A window reaching onto a stand-in display (the desktop's own
                // panels are left out by the window list) keeps the pointer here.
                if (windows == nullptr)
                    return false;
                const std::optional<QList<WindowInfo>> list = windows->onScreenWindows();
                if (!list)
                    return false;
                for (const WindowInfo &window : *list) {
                    if (!contains(window.bounds, point))
                        continue;
                    for (const auto &[id, session] : sessions_) {
                        if (contains(geometry->displayBounds(session.display->displayID()), point))
                            return true;
                    }
                }
                return false;
            }});
    }
    QPointer<SeamlessInputManager> self(this);
    capture_->onExit = [self] {
        if (self)
            self->restorePreviousWindow();
    };
    capture_->onCursorEdgeChanged = [self](std::optional<std::uint32_t> displayID, std::optional<QString> edge) {
        if (self)
            self->forwardCursorEdge(displayID, edge);
    };
    Session &session = sessions_.at(configID);
    const std::uint32_t displayID = session.display->displayID();
    SeamlessCapture::PhoneSize size{double(session.display->width()), double(session.display->height())};
    if (phoneSize && phoneSize->first > 0 && phoneSize->second > 0)
        size = {double(phoneSize->first), double(phoneSize->second)};
    session.captureSize = size;
    if (!capture_->addDevice(displayID, *session.server, size, pointerSpeed(configID))) {
        needsInputMonitoringPermission_ = true;
        teardown(configID);
        emit changed();
        emit setupWindowRequested();
        return false;
    }
    if (needsInputMonitoringPermission_) {
        needsInputMonitoringPermission_ = false;
        emit changed();
    }
    if (!previouslyActiveWindow_ && platform_.windows != nullptr)
        previouslyActiveWindow_ = platform_.windows->activeWindow();
    return true;
}

void SeamlessInputManager::startAudio(const QUuid &configID, const QString &serial)
{
    if (platform_.scrcpy == nullptr)
        return;
    const std::uint64_t generation = sessions_.at(configID).generation;
    QPointer<SeamlessInputManager> self(this);
    try {
        QPointer<QProcess> process = platform_.scrcpy->launch(audioArguments(serial), {}, [self, configID, generation] {
            if (self && self->isLive(configID, generation)) {
                self->sessions_.at(configID).audioProcess.clear();
                emit self->changed();
            }
        });
        sessions_.at(configID).audioProcess = process;
        log(QStringLiteral("audio forwarding started for ") + configID.toString(QUuid::WithoutBraces).toUpper());
    } catch (const ShellError &error) {
        log(QStringLiteral("audio unavailable: ") + error.description());
    }
}

void SeamlessInputManager::fail(const QUuid &configID, const QString &text)
{
    lastError_ = QStringLiteral("Couldn't start Keyboard & Mouse: ") + text;
    starting_.erase(configID);
    teardown(configID);
    emit changed();
}

void SeamlessInputManager::stop(const QUuid &configID)
{
    log(QStringLiteral("stop() config=") + configID.toString(QUuid::WithoutBraces).toUpper());
    teardown(configID);
}

void SeamlessInputManager::stopAll()
{
    starting_.clear();
    while (!sessions_.empty())
        teardown(sessions_.begin()->first);
}

void SeamlessInputManager::endSession(const QUuid &configID)
{
    log(QStringLiteral("endSession() — input server exited for ") + configID.toString(QUuid::WithoutBraces).toUpper());
    teardown(configID);
}

void SeamlessInputManager::teardown(QUuid configID)
{
    starting_.erase(configID);
    const auto found = sessions_.find(configID);
    if (found == sessions_.end())
        return;
    // Out of the map first, so that callbacks running during the clean-up find no session.
    Session session = std::move(found->second);
    sessions_.erase(found);
    if (capture_)
        capture_->removeDevice(session.display->displayID());
    session.server->stop();
    if (session.audioProcess)
        session.audioProcess->terminate();
    if (platform_.drags != nullptr && platform_.drags->watcherSerial() == session.serial)
        platform_.drags->disableDrag(false);
    activeConfigIDs_.erase(configID);
    if (lastStartedConfigID_ == configID) {
        lastStartedConfigID_ = sessions_.empty() ? std::nullopt : std::optional<QUuid>(sessions_.begin()->first);
    }
    if (sessions_.empty()) {
        if (capture_) {
            capture_->onExit = nullptr;
            capture_->onCursorEdgeChanged = nullptr;
        }
        restorePreviousWindow();
    }
    // The server may be the one whose exit got us here: it goes once that call is over.
    session.server.release()->deleteLater();
    session.display.reset();
    if (geometry_)
        geometry_->invalidate();
    emit changed();
}

void SeamlessInputManager::sessionLocked()
{
    if (!capture_ || !capture_->activeDisplayID())
        return;
    log(QStringLiteral("session locked — keyboard and mouse back to the computer"));
    capture_->returnToComputer();
}

void SeamlessInputManager::forwardCursorEdge(std::optional<std::uint32_t> displayID, std::optional<QString> edge)
{
    WindowDragControl *drags = platform_.drags;
    if (drags == nullptr)
        return;
    const std::optional<QString> watched = drags->watcherSerial();
    if (!watched)
        return;
    if (displayID) {
        for (const auto &[id, session] : sessions_) {
            if (session.display->displayID() != *displayID)
                continue;
            // Only the watched phone hears of its own edges.
            if (session.serial == *watched)
                drags->setCursorEdge(edge);
            return;
        }
    }
    drags->setCursorEdge(std::nullopt);
}

void SeamlessInputManager::restorePreviousWindow()
{
    if (previouslyActiveWindow_ && platform_.windows != nullptr)
        platform_.windows->activate(*previouslyActiveWindow_);
    previouslyActiveWindow_.reset();
}

std::optional<std::uint32_t> SeamlessInputManager::standInDisplayID() const
{
    if (!lastStartedConfigID_)
        return std::nullopt;
    const auto found = sessions_.find(*lastStartedConfigID_);
    if (found == sessions_.end())
        return std::nullopt;
    return found->second.display->displayID();
}

std::optional<Placement> SeamlessInputManager::standInPlacement() const
{
    const std::optional<std::uint32_t> displayID = standInDisplayID();
    const std::optional<DisplayRect> main = mainDisplayBounds();
    if (!displayID || !main)
        return std::nullopt;
    const DisplayRect bounds = platform_.layout->displayBounds(*displayID);
    if (bounds.isEmpty())
        return std::nullopt;
    return placementOf(bounds, *main);
}

std::optional<QString> SeamlessInputManager::serialOf(const QUuid &configID) const
{
    const auto found = sessions_.find(configID);
    return found == sessions_.end() ? std::nullopt : std::optional<QString>(found->second.serial);
}

std::optional<QProcess *> SeamlessInputManager::audioProcess(const QUuid &configID) const
{
    const auto found = sessions_.find(configID);
    if (found == sessions_.end() || !found->second.audioProcess)
        return std::nullopt;
    return found->second.audioProcess.data();
}

std::optional<Placement> SeamlessInputManager::rememberedPlacement(const QUuid &configID) const
{
    return placementNamed(dependencies_.defaults.string(placementKey(configID)));
}

void SeamlessInputManager::setPlacement(const QUuid &configID, Placement placement)
{
    if (placement == Placement::overlapping)
        return;
    dependencies_.defaults.setValue(placementKey(configID), placementName(placement));
    if (sessions_.count(configID) > 0)
        placeStandIn(configID);
    emit changed();
}

double SeamlessInputManager::pointerSpeed(const QUuid &configID) const
{
    bool ok = false;
    const double speed = dependencies_.defaults.value(pointerSpeedKey(configID)).toDouble(&ok);
    if (!ok || !std::isfinite(speed))
        return defaultPointerSpeed;
    return std::clamp(speed, minimumPointerSpeed, maximumPointerSpeed);
}

void SeamlessInputManager::setPointerSpeed(const QUuid &configID, double speed)
{
    if (!std::isfinite(speed))
        return;
    speed = std::clamp(speed, minimumPointerSpeed, maximumPointerSpeed);
    dependencies_.defaults.setValue(pointerSpeedKey(configID), speed);
    // A phone being driven takes the new speed at once.
    const auto found = sessions_.find(configID);
    if (found != sessions_.end() && found->second.captureSize && capture_) {
        capture_->addDevice(found->second.display->displayID(), *found->second.server, *found->second.captureSize,
                            speed);
    }
    emit changed();
}

std::optional<DisplayRect> SeamlessInputManager::mainDisplayBounds() const
{
    if (platform_.layout == nullptr)
        return std::nullopt;
    for (const std::uint32_t id : platform_.layout->activeDisplays()) {
        const bool standIn = std::any_of(sessions_.begin(), sessions_.end(),
                                         [id](const auto &entry) { return entry.second.display->displayID() == id; });
        if (standIn)
            continue;
        const DisplayRect bounds = platform_.layout->displayBounds(id);
        if (!bounds.isEmpty())
            return bounds;
    }
    return std::nullopt;
}

bool SeamlessInputManager::isLive(const QUuid &configID, std::uint64_t generation) const
{
    const auto found = sessions_.find(configID);
    return found != sessions_.end() && found->second.generation == generation;
}

} // namespace lumarient
