#pragma once

#include "input/SeamlessCapture.h"
#include "input/StandInPlacement.h"
#include "model/ConnectedDevice.h"
#include "model/DeviceConfig.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QThreadPool>
#include <QUuid>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace lumarient {

class ADB;
class DisplayGeometryCache;
class DisplayLayout;
class InputServer;
class InputTap;
class ScrcpySupervisor;
class SessionLockWatcher;
class ToolPaths;
class UserDefaults;
class VirtualDisplay;
class VirtualMonitorFactory;
class WindowDragControl;
class WindowList;

// "Keyboard & Mouse Only": for each phone a stand-in display beside the main
// display, the phone's input server, the shared capture that moves the
// keyboard and pointer onto the phone at the stand-in's edge, and an audio-only
// scrcpy for the phone's sound. Main thread only; the screen-size query runs in
// the background and reports back here.
class SeamlessInputManager : public QObject {
    Q_OBJECT
public:
    struct Platform {
        // The same factory the second display uses (it clears an earlier run's leftovers).
        VirtualMonitorFactory *monitors = nullptr;
        DisplayLayout *layout = nullptr;
        // Without a tap the feature is unavailable on this desktop.
        InputTap *tap = nullptr;
        WindowList *windows = nullptr;
        ScrcpySupervisor *scrcpy = nullptr;
        // A locked session takes the keyboard and pointer back from the phone.
        SessionLockWatcher *sessionLock = nullptr;
        // Dragging phone app windows to the desktop while a phone is driven; optional.
        WindowDragControl *drags = nullptr;
    };
    struct Dependencies {
        const ToolPaths &paths;
        const ADB &adb;
        UserDefaults &defaults;
        // Where a development build finds the phone's input archive.
        QString inputSourceTree = defaultInputSourceTree();
    };

    static constexpr int boundsPolls = 20;
    static constexpr int boundsPollIntervalMs = 100;
    static constexpr double defaultPointerSpeed = 1.0;
    static constexpr double minimumPointerSpeed = 0.25;
    static constexpr double maximumPointerSpeed = 4.0;

    SeamlessInputManager(Platform platform, Dependencies dependencies, QObject *parent = nullptr);
    ~SeamlessInputManager() override;

    static QStringList audioArguments(const QString &serial);
    static QString defaultInputSourceTree();
    // Settings keys of the per-phone choices.
    static QString placementKey(const QUuid &configID);
    static QString pointerSpeedKey(const QUuid &configID);

    void start(const DeviceConfig &config, const ConnectedDevice &device);
    void stop(const QUuid &configID);
    // Ends every session (the app is quitting).
    void stopAll();

    const std::set<QUuid> &activeConfigIDs() const { return activeConfigIDs_; }
    bool isActive(const QUuid &configID) const { return activeConfigIDs_.count(configID) > 0; }
    // False on a desktop without a keyboard tap: starting then only reports so.
    bool isAvailable() const { return platform_.tap != nullptr; }
    // The last failure the user must see; kept until a later failure replaces it.
    const std::optional<QString> &lastError() const { return lastError_; }
    // True after the keyboard and pointer could not be watched, false after they could.
    bool needsInputMonitoringPermission() const { return needsInputMonitoringPermission_; }
    // The stand-in display of the last started session, if it still runs.
    std::optional<std::uint32_t> standInDisplayID() const;
    // Where that display sits now; nothing without one.
    std::optional<Placement> standInPlacement() const;
    std::optional<QUuid> lastStartedConfigID() const { return lastStartedConfigID_; }
    // The serial of a running session's phone.
    std::optional<QString> serialOf(const QUuid &configID) const;
    std::optional<QProcess *> audioProcess(const QUuid &configID) const;
    SeamlessCapture *capture() const { return capture_.get(); }

    // The side of the main display a phone's stand-in goes to: remembered per
    // phone, and applied at once to its running session.
    std::optional<Placement> rememberedPlacement(const QUuid &configID) const;
    void setPlacement(const QUuid &configID, Placement placement);
    // Why the stand-in is not on the side chosen for it; nothing once a chosen
    // side has been honoured.
    const std::optional<QString> &placementNotice() const { return placementNotice_; }
    double pointerSpeed(const QUuid &configID) const;
    void setPointerSpeed(const QUuid &configID, double speed);

signals:
    // Any published state changed.
    void changed();
    // The keyboard and pointer could not be watched: the setup window should show.
    void setupWindowRequested();

private:
    struct Session {
        QString serial;
        std::shared_ptr<VirtualDisplay> display;
        std::unique_ptr<InputServer> server;
        QPointer<QProcess> audioProcess;
        std::uint64_t generation = 0;
        // What the capture was given, once it has the phone.
        std::optional<SeamlessCapture::PhoneSize> captureSize;
    };
    struct PendingStart {
        QUuid configID;
        QString name;
        QString serial;
        std::optional<std::pair<int, int>> phoneSize;
    };

    void continueStart(const PendingStart &pending);
    void waitForNonZeroBounds(const QUuid &configID, std::uint64_t generation, int pollsLeft,
                              std::optional<std::pair<int, int>> phoneSize);
    void startServer(const QUuid &configID, std::uint64_t generation, std::optional<std::pair<int, int>> phoneSize);
    bool beginCapture(const QUuid &configID, std::optional<std::pair<int, int>> phoneSize);
    void startAudio(const QUuid &configID, const QString &serial);
    void placeStandIn(const QUuid &configID);
    void standInMoved();
    void fail(const QUuid &configID, const QString &text);
    void endSession(const QUuid &configID);
    // By value: callers pass keys of the session map, which this erases.
    void teardown(QUuid configID);
    // Tells the phone window watcher which edge of its phone the cursor touches.
    void forwardCursorEdge(std::optional<std::uint32_t> displayID, std::optional<QString> edge);
    void restorePreviousWindow();
    void sessionLocked();
    std::optional<DisplayRect> mainDisplayBounds() const;
    bool isLive(const QUuid &configID, std::uint64_t generation) const;

    Platform platform_;
    Dependencies dependencies_;
    std::set<QUuid> activeConfigIDs_;
    std::optional<QString> lastError_;
    std::optional<QString> placementNotice_;
    bool needsInputMonitoringPermission_ = false;
    std::unique_ptr<DisplayGeometryCache> geometry_;
    std::unique_ptr<SeamlessCapture> capture_;
    std::map<QUuid, Session> sessions_;
    std::set<QUuid> starting_;
    std::optional<std::uint32_t> previouslyActiveWindow_;
    std::optional<QUuid> lastStartedConfigID_;
    std::uint64_t generation_ = 0;
    // Last: the screen-size queries have finished before anything else goes.
    QThreadPool pool_;
};

} // namespace lumarient
