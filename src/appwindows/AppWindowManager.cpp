#include "appwindows/AppWindowManager.h"

#include "appwindows/WindowRaiser.h"
#include "devices/ScrcpySupervisor.h"
#include "model/LumarientError.h"
#include "platform/Log.h"
#include "platform/Sleeper.h"
#include "platform/WindowList.h"
#include "tooling/FailureText.h"
#include "tooling/ShellError.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <exception>
#include <limits>

namespace lumarient {
namespace {

void log(const QString &message)
{
    logLine(QStringLiteral("AppWindowManager"), message);
}

// scrcpy's output arrives in chunks; a line longer than this is nobody's news.
constexpr qsizetype outputLineLimit = 4096;

} // namespace

AppWindowManager::AppWindowManager(Dependencies dependencies, QObject *parent)
    : QObject(parent), scrcpy_(dependencies.scrcpy), makeWatcher_(std::move(dependencies.makeWatcher)),
      dragWatcher_(std::move(dependencies.dragWatcher)), windowList_(dependencies.windows),
      tasks_(dependencies.adb, dependencies.sleeper, dependencies.clock)
{
    if (windowList_ != nullptr)
        raiser_ = std::make_unique<WindowRaiser>(*windowList_);
    pool_.setMaxThreadCount(4);
}

AppWindowManager::~AppWindowManager()
{
    stop_.request_stop();
    pool_.waitForDone();
}

QStringList AppWindowManager::scrcpyArguments(const QString &serial, const AndroidApp &app, int width, int height)
{
    return {QStringLiteral("-s"),
            serial,
            QStringLiteral("--new-display=%1x%2/%3").arg(width).arg(height).arg(newDisplayDensity),
            QStringLiteral("--no-vd-system-decorations"),
            QStringLiteral("--start-app=") + app.package,
            QStringLiteral("--mouse=sdk"),
            QStringLiteral("--keyboard=uhid"),
            QStringLiteral("--no-audio"),
            QStringLiteral("--window-title=") + app.label(),
            QStringLiteral("--max-fps=60")};
}

QProcessEnvironment AppWindowManager::scrcpyEnvironment()
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("SDL_VIDEO_DRIVER"), QStringLiteral("x11"));
    return environment;
}

void AppWindowManager::background(std::function<void(std::stop_token)> work)
{
    const std::stop_token stop = stop_.get_token();
    pool_.start([work = std::move(work), stop] {
        try {
            work(stop);
        } catch (const OperationCancelled &) {
        }
    });
}

void AppWindowManager::onMain(std::function<void(AppWindowManager &)> work)
{
    QPointer<AppWindowManager> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, work = std::move(work)] {
            if (self)
                work(*self);
        },
        Qt::QueuedConnection);
}

AppWindow *AppWindowManager::windowByLaunch(std::uint64_t launch)
{
    for (AppWindow &window : windows_) {
        if (window.launch == launch)
            return &window;
    }
    return nullptr;
}

// Phone -> desktop

void AppWindowManager::handleDrag(const DragEvent &event, const QString &serial)
{
    // The line comes from the phone: only a real package name and a real size go on.
    if (!AndroidApp::isValidPackage(event.package) || event.width <= 0 || event.height <= 0 || event.taskID < 0 ||
        event.taskID > std::numeric_limits<int>::max()) {
        log(QStringLiteral("ignored a drag of an unusable window: ") + event.package);
        return;
    }
    for (const AppWindow &window : std::as_const(windows_)) {
        if (window.id == event.taskID)
            return;
    }
    bringToMac(AndroidApp{int(event.taskID), event.package}, serial, event.width, event.height, event.boundsArgument(),
               event.capturedLandscape);
}

void AppWindowManager::bringToMac(const AndroidApp &app, const QString &serial, int width, int height,
                                  const std::optional<QString> &restoreBounds, std::optional<bool> capturedLandscape)
{
    if (!AndroidApp::isValidPackage(app.package))
        return;
    for (const AppWindow &window : std::as_const(windows_)) {
        if (window.id == app.id)
            return;
    }
    // A second drag while the first is still reading the task dump opens nothing either.
    if (!opening_.insert(app.id).second)
        return;
    const PhoneTasks &tasks = tasks_;
    background([this, &tasks, app, serial, width, height, restoreBounds, capturedLandscape](std::stop_token) {
        const ActivityDump::TaskState state = tasks.taskState(serial, app.id);
        onMain([app, serial, width, height, restoreBounds, capturedLandscape, state](AppWindowManager &self) {
            self.opening_.erase(app.id);
            self.launch(app, serial, width, height, restoreBounds, capturedLandscape, state);
        });
    });
}

void AppWindowManager::launch(const AndroidApp &app, const QString &serial, int width, int height,
                              const std::optional<QString> &restoreBounds, std::optional<bool> capturedLandscape,
                              const ActivityDump::TaskState &state)
{
    const std::optional<QString> originalBounds = restoreBounds ? restoreBounds : state.bounds;
    const bool freeform = restoreBounds ? true : state.isFreeform;
    const bool wasFreeform = originalBounds.has_value() && freeform;
    const std::uint64_t launch = nextLaunch_++;
    const QString label = app.label();

    QPointer<AppWindowManager> self(this);
    Scrcpy::OutputHandler onOutput;
    if (wasFreeform) {
        onOutput = [self, launch, serial](const QString &text) {
            if (self)
                self->consumeOutput(launch, text, serial);
        };
    }
    QPointer<QProcess> process;
    try {
        process = scrcpy_.launch(
            scrcpyArguments(serial, app, width, height), std::move(onOutput),
            [self, launch, serial] {
                if (self)
                    self->scrcpyEnded(launch, serial);
            },
            scrcpyEnvironment());
    } catch (const ShellError &error) {
        lastError_ =
            QStringLiteral("Couldn't open ") + label + QStringLiteral(" on the computer: ") + error.description();
        emit changed();
        return;
    }

    AppWindow window;
    window.id = app.id;
    window.package = app.package;
    window.label = label;
    window.process = process;
    window.pid = process ? process->processId() : 0;
    window.originalBounds = originalBounds;
    window.wasFreeform = wasFreeform;
    window.capturedLandscape = capturedLandscape;
    window.launch = launch;
    windows_.append(window);
    log(QStringLiteral("opened ") + app.package + QStringLiteral(" (task ") + QString::number(app.id) +
        QStringLiteral(") in a desktop window"));
    if (raiser_) {
        const int taskID = app.id;
        raiser_->raise(process, [self, taskID](std::optional<std::uint32_t> raised) {
            if (self && raised)
                emit self->windowRaised(taskID, *raised);
        });
    }
    beginDragTracking(window.pid, label, serial);
    emit changed();
}

void AppWindowManager::consumeOutput(std::uint64_t launch, const QString &text, const QString &serial)
{
    QString &pending = pendingOutput_[launch];
    pending += text;
    qsizetype newline;
    while ((newline = pending.indexOf(QLatin1Char('\n'))) >= 0) {
        const QString line = pending.left(newline);
        pending.remove(0, newline + 1);
        const std::optional<ActivityDump::NewDisplay> display = ActivityDump::parseNewDisplay(line);
        AppWindow *window = windowByLaunch(launch);
        if (!display || window == nullptr)
            continue;
        window->displayID = display->displayID;
        fillDisplay(display->width, display->height, window->package, serial, display->displayID);
        emit changed();
    }
    if (pending.size() > outputLineLimit)
        pending.clear();
}

void AppWindowManager::fillDisplay(int width, int height, const QString &package, const QString &serial, int displayID)
{
    const PhoneTasks &tasks = tasks_;
    background([&tasks, width, height, package, serial, displayID](std::stop_token stop) {
        tasks.sleeper().sleep(fillDisplayDelay, stop);
        if (const std::optional<int> id = tasks.taskID(serial, displayID, package)) {
            tasks.resize(serial, *id,
                         QStringLiteral("0 0 ") + QString::number(width) + QLatin1Char(' ') + QString::number(height));
        }
    });
}

void AppWindowManager::beginDragTracking(std::int64_t pid, const QString &title, const QString &serial)
{
    if (pid <= 0 || !dragWatcher_)
        return;
    dragWatcher_->watch(std::int32_t(pid), title);
    QPointer<AppWindowManager> self(this);
    dragWatcher_->start([self, serial](std::int32_t droppedPid) {
        if (!self)
            return;
        for (const AppWindow &window : std::as_const(self->windows_)) {
            if (window.pid == droppedPid) {
                self->sendToPhone(window, serial);
                return;
            }
        }
    });
}

// Desktop -> phone

void AppWindowManager::forget(std::int64_t pid)
{
    if (!dragWatcher_)
        return;
    dragWatcher_->unwatch(std::int32_t(pid));
    if (dragWatcher_->watched().empty())
        dragWatcher_->stop();
}

void AppWindowManager::sendToPhone(const AppWindow &sent, const QString &serial)
{
    AppWindow *window = windowByLaunch(sent.launch);
    if (window == nullptr || window->returning)
        return;
    // From here on its scrcpy's end is ours, not the user's.
    window->returning = true;
    forget(window->pid);
    if (raiser_ && windowList_ != nullptr) {
        if (const std::optional<std::uint32_t> shown = raiser_->windowOf(window->pid))
            windowList_->minimize(*shown);
    }
    const AppWindow copy = *window;
    const PhoneTasks &tasks = tasks_;
    background([this, &tasks, copy, serial](std::stop_token stop) {
        // Off the virtual display before scrcpy ends it: a closing display takes its apps along.
        tasks.moveToMainDisplay(serial, copy.id);
        onMain([launch = copy.launch, id = copy.id](AppWindowManager &self) {
            if (const AppWindow *window = self.windowByLaunch(launch); window && window->process)
                window->process->terminate();
            self.windowEnded(id);
        });
        tasks.sleeper().sleep(focusDelay, stop);
        tasks.focus(serial, copy.id);
        if (!copy.wasFreeform || !copy.originalBounds || copy.originalBounds->isEmpty())
            return;
        for (int attempt = 0; attempt < restoreAttempts; ++attempt) {
            if (attempt > 0)
                tasks.sleeper().sleep(restoreInterval, stop);
            const std::optional<int> current = tasks.currentTaskID(serial, copy.package);
            if (!current)
                continue;
            const QString target = tasks.fitToScreen(*copy.originalBounds, serial, copy.capturedLandscape, stop);
            if (tasks.taskState(serial, *current).bounds != target)
                tasks.resize(serial, *current, target);
            return;
        }
    });
}

void AppWindowManager::scrcpyEnded(std::uint64_t launch, const QString &serial)
{
    pendingOutput_.erase(launch);
    AppWindow *window = windowByLaunch(launch);
    if (window == nullptr || window->returning)
        return;
    window->returning = true;
    log(QStringLiteral("the desktop window of ") + window->package +
        QStringLiteral(" ended; it goes back to the phone"));
    const AppWindow copy = *window;
    const PhoneTasks &tasks = tasks_;
    background([this, &tasks, copy, serial](std::stop_token stop) {
        tasks.launchOnMainDisplay(serial, copy.package);
        if (copy.wasFreeform && copy.originalBounds && !copy.originalBounds->isEmpty()) {
            tasks.sleeper().sleep(relaunchSettleDelay, stop);
            if (const std::optional<int> current = tasks.currentTaskID(serial, copy.package))
                tasks.resize(serial, *current,
                             tasks.fitToScreen(*copy.originalBounds, serial, copy.capturedLandscape, stop));
        }
        onMain([id = copy.id](AppWindowManager &self) { self.windowEnded(id); });
    });
}

void AppWindowManager::windowEnded(int taskID)
{
    bool removed = false;
    for (qsizetype i = windows_.size() - 1; i >= 0; --i) {
        if (windows_[i].id != taskID)
            continue;
        forget(windows_[i].pid);
        pendingOutput_.erase(windows_[i].launch);
        windows_.removeAt(i);
        removed = true;
    }
    if (removed)
        emit changed();
}

void AppWindowManager::stopAll()
{
    // Their ends relaunch nothing: the windows are gone from the list first.
    const QList<AppWindow> closing = std::exchange(windows_, {});
    for (const AppWindow &window : closing) {
        if (window.process && window.process->state() != QProcess::NotRunning)
            window.process->terminate();
    }
    pendingOutput_.clear();
    if (dragWatcher_)
        dragWatcher_->stop();
    disableDrag(true);
    emit changed();
}

// Watching the phone

void AppWindowManager::enableDrag(const QString &serial)
{
    if (watcher_ || !makeWatcher_)
        return;
    watcher_ = makeWatcher_();
    watcherSerial_ = serial;
    WindowWatcherClient *started = watcher_.get();
    QPointer<AppWindowManager> self(this);
    started->start(
        serial,
        [self, serial](const DragEvent &event) {
            if (self)
                self->handleDrag(event, serial);
        },
        [self, started] {
            if (!self || self->watcher_.get() != started)
                return;
            // The client is inside its own callback: it goes once that is over.
            self->watcher_.release()->deleteLater();
            self->watcherSerial_.reset();
            self->isDragEnabled_ = false;
            emit self->changed();
        },
        [self, started](std::exception_ptr failure) {
            if (!self || self->watcher_.get() != started)
                return;
            if (!failure) {
                self->isDragEnabled_ = true;
            } else {
                self->watcher_.release()->deleteLater();
                self->watcherSerial_.reset();
                self->isDragEnabled_ = false;
                self->lastError_ = QStringLiteral("Couldn't watch for dragged windows: ") + failureText(failure);
            }
            emit self->changed();
        });
}

void AppWindowManager::disableDrag(bool synchronously)
{
    if (watcher_) {
        watcher_->stop(synchronously);
        watcher_.release()->deleteLater();
    }
    watcherSerial_.reset();
    const bool wasEnabled = std::exchange(isDragEnabled_, false);
    if (wasEnabled)
        emit changed();
}

void AppWindowManager::setCursorEdge(const std::optional<QString> &edge)
{
    if (watcher_)
        watcher_->setCursorEdge(edge);
}

} // namespace lumarient
