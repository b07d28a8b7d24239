#pragma once

#include "appwindows/WatcherLineBuffer.h"
#include "platform/Clock.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lumarient {

class FileDescriptor;
class ToolPaths;
class UserDefaults;

// A phone app window the user dragged against an edge of the phone's screen.
struct DragEvent {
    enum class Edge { left, right, top, bottom };

    std::int64_t taskID = 0;
    QString package;
    Edge edge = Edge::left;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    // Whether the phone was in landscape when the window was captured; absent when not reported.
    std::optional<bool> capturedLandscape;

    // Left, top, right and bottom as the activity manager takes task bounds.
    QString boundsArgument() const;

    static QString edgeText(Edge edge);
    static std::optional<Edge> edgeFromText(const QString &text);

    bool operator==(const DragEvent &) const = default;
};

// The computer's side of the phone's window watcher: copies the input archive to
// the phone, runs the watcher through one long-lived `adb shell`, keeps the
// phone's freeform setting safe while it runs, tells it which edge the shared
// cursor touches and turns its "drag" lines into DragEvents. Main thread only;
// the blocking adb commands run on a pool of its own.
class WindowWatcherClient : public QObject {
    Q_OBJECT
public:
    struct Dependencies {
        const ToolPaths &paths;
        UserDefaults &defaults;
        const Clock &clock = SteadyClock::instance();
        // The source tree a development build looks in for the archive when the
        // installation has none.
        QString sourceTree = defaultSourceTree();
    };

    // Called on the main thread once `start` has finished: with no failure when
    // the watcher is ready, otherwise with the error (LumarientError, ShellError,
    // or OperationCancelled when `stop` came first).
    using StartHandler = std::function<void(std::exception_ptr failure)>;
    using DragHandler = std::function<void(const DragEvent &event)>;
    using ExitHandler = std::function<void()>;

    static constexpr std::chrono::seconds startLimit{10};
    static constexpr const char *phoneJarPath = "/data/local/tmp/lumarient-input.jar";
    static constexpr const char *shellCommand = "CLASSPATH=/data/local/tmp/lumarient-input.jar app_process / "
                                                "com.corvantil.lumarient.input.WindowWatcher";
    static constexpr const char *readyMarker = "LumarientWatcher ready";
    static constexpr const char *failureMarker = "fatal";
    static constexpr const char *freeformSetting = "enable_freeform_support";

    explicit WindowWatcherClient(Dependencies dependencies, QObject *parent = nullptr);
    ~WindowWatcherClient() override;

    static QString defaultSourceTree();
    // The settings key that holds a phone's freeform value while its watcher runs.
    static QString freeformKey(const QString &serial);
    // The event a watcher line reports, if it is a well-formed drag report.
    static std::optional<DragEvent> parseDrag(const QString &line);

    // Starts the watcher on the phone with adb serial `serial`. `onDrag` gets
    // each drag on the main thread; `onExit` runs on the main thread when the
    // child ends by itself (never after `stop`). With a child already present,
    // `done` is called at once with no failure; while another start is under
    // way, `done` gets that start's result.
    void start(const QString &serial, DragHandler onDrag, ExitHandler onExit, StartHandler done);
    // Ends the watcher and puts the freeform setting back: before returning when
    // `synchronously` (the app is quitting), else in the background. Safe in
    // any state and repeatedly.
    void stop(bool synchronously);
    // The edge the shared cursor touches ("left", "right", "top", "bottom"), or none.
    void setCursorEdge(const std::optional<QString> &edge);

    bool isReady() const { return isReady_; }
    bool hasProcess() const { return !process_.isNull(); }

private:
    struct PendingStart;

    void prepared(const QString &serial, const std::optional<QString> &currentFreeform);
    void launch(const QString &serial);
    void onOutput();
    void onFinished();
    void finishStart(std::exception_ptr failure);
    void checkStartLimit();
    void send(const QString &line);
    void consume(const QByteArray &bytes);
    void restoreFreeform(const QString &serial, const std::optional<QString> &previous, bool synchronously);

    Dependencies dependencies_;
    QPointer<QProcess> process_;
    std::shared_ptr<FileDescriptor> stdin_;
    std::optional<QString> lastCursorEdge_;
    bool isReady_ = false;
    WatcherLineBuffer pending_;
    std::optional<QString> startedSerial_;
    std::optional<QString> previousFreeform_;
    std::optional<QString> freeformKey_;
    DragHandler onDrag_;
    ExitHandler onExit_;
    // The end of the previous output chunk, so a marker split across reads is still seen.
    QByteArray markerTail_;
    std::shared_ptr<PendingStart> start_;
    QTimer startLimitTimer_;
    // Each start gets a number, so the work of a start that was stopped is ignored.
    std::uint64_t generation_ = 0;
    // Runs the blocking adb commands: the push, the settings read, background restores.
    QThreadPool pool_;
};

} // namespace lumarient
