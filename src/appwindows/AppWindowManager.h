#pragma once

#include "appwindows/AndroidApp.h"
#include "appwindows/AppWindow.h"
#include "appwindows/PhoneTasks.h"
#include "appwindows/WindowDragWatcher.h"
#include "appwindows/WindowWatcherClient.h"
#include "input/WindowDragControl.h"

#include <QList>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>

namespace lumarient {

class ScrcpySupervisor;
class WindowList;
class WindowRaiser;

// Moves phone apps to desktop windows and back. A phone app dragged against an
// edge of the phone's screen opens in a desktop window of its own (a scrcpy
// showing it on a new virtual display of the phone); dropping that window on
// the phone's stand-in display, or closing it, returns the app to the phone's
// main display with the bounds it had there. Main thread only; adb work runs
// in the background and reports back here.
class AppWindowManager : public QObject, public WindowDragControl {
    Q_OBJECT
public:
    using WatcherFactory = std::function<std::unique_ptr<WindowWatcherClient>()>;

    struct Dependencies {
        const ADB &adb;
        ScrcpySupervisor &scrcpy;
        Sleeper &sleeper;
        const Clock &clock;
        // Makes the phone-side window watcher's link, one per watched phone.
        WatcherFactory makeWatcher = {};
        // Watches the desktop windows of moved apps for a drop on the phone;
        // without one, apps go back only when their windows close.
        std::unique_ptr<WindowDragWatcher> dragWatcher = {};
        // Without a window list, app windows are neither raised nor hidden.
        WindowList *windows = nullptr;
    };

    static constexpr int newDisplayDensity = 160;
    static constexpr std::chrono::milliseconds fillDisplayDelay{700};
    static constexpr std::chrono::milliseconds focusDelay{250};
    static constexpr int restoreAttempts = 10;
    static constexpr std::chrono::milliseconds restoreInterval{80};
    static constexpr std::chrono::milliseconds relaunchSettleDelay{800};

    explicit AppWindowManager(Dependencies dependencies, QObject *parent = nullptr);
    ~AppWindowManager() override;

    // The scrcpy arguments that show `app` alone on a new display of `width` x `height`.
    static QStringList scrcpyArguments(const QString &serial, const AndroidApp &app, int width, int height);
    // What scrcpy needs in its environment: a window the desktop's window list
    // can see (an SDL built for Wayland would otherwise open a native one).
    static QProcessEnvironment scrcpyEnvironment();

    // WindowDragControl
    void enableDrag(const QString &serial) override;
    void disableDrag(bool synchronously) override;
    std::optional<QString> watcherSerial() const override { return watcherSerial_; }
    void setCursorEdge(const std::optional<QString> &edge) override;

    void handleDrag(const DragEvent &event, const QString &serial);
    void bringToMac(const AndroidApp &app, const QString &serial, int width, int height,
                    const std::optional<QString> &restoreBounds, std::optional<bool> capturedLandscape);
    void sendToPhone(const AppWindow &window, const QString &serial);
    // Closes every app window without returning the apps (the app is quitting).
    void stopAll();

    const QList<AppWindow> &windows() const { return windows_; }
    const std::optional<QString> &lastError() const { return lastError_; }
    bool isDragEnabled() const { return isDragEnabled_; }
    WindowWatcherClient *watcher() const { return watcher_.get(); }
    WindowDragWatcher *dragWatcher() const { return dragWatcher_.get(); }

signals:
    // Any published state changed.
    void changed();
    // A moved app's desktop window was raised (for measurements and tests).
    void windowRaised(int taskID, std::uint32_t window);

private:
    void launch(const AndroidApp &app, const QString &serial, int width, int height,
                const std::optional<QString> &restoreBounds, std::optional<bool> capturedLandscape,
                const ActivityDump::TaskState &state);
    void consumeOutput(std::uint64_t launch, const QString &text, const QString &serial);
    // Stretches the app over its new display once it is there.
    void fillDisplay(int width, int height, const QString &package, const QString &serial, int displayID);
    void beginDragTracking(std::int64_t pid, const QString &title, const QString &serial);
    void scrcpyEnded(std::uint64_t launch, const QString &serial);
    void windowEnded(int taskID);
    void forget(std::int64_t pid);
    AppWindow *windowByLaunch(std::uint64_t launch);
    // Runs `work` on the pool; a cancelled wait just ends it.
    void background(std::function<void(std::stop_token)> work);
    // Runs `work` here on the main thread, if this manager still exists.
    void onMain(std::function<void(AppWindowManager &)> work);

    ScrcpySupervisor &scrcpy_;
    WatcherFactory makeWatcher_;
    std::unique_ptr<WindowDragWatcher> dragWatcher_;
    WindowList *windowList_;
    PhoneTasks tasks_;
    std::unique_ptr<WindowRaiser> raiser_;

    QList<AppWindow> windows_;
    std::optional<QString> lastError_;
    bool isDragEnabled_ = false;
    std::unique_ptr<WindowWatcherClient> watcher_;
    std::optional<QString> watcherSerial_;
    // Tasks whose scrcpy is being started (the task dump is read first).
    std::set<int> opening_;
    std::uint64_t nextLaunch_ = 1;
    // Per launch, scrcpy output not yet ended by a newline.
    std::map<std::uint64_t, QString> pendingOutput_;

    std::stop_source stop_;
    // Last: background work has finished before anything else goes.
    QThreadPool pool_;
};

} // namespace lumarient
