#pragma once

#include "input/InputRecords.h"
#include "input/InputSink.h"
#include "input/MovementCoalescer.h"
#include "platform/Clock.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lumarient {

class FileDescriptor;
class WorkerLoop;
class ToolPaths;

// The computer's side of the phone's input server: copies the input archive to
// the phone, runs it through one long-lived `adb shell`, waits for its ready
// line and then writes 8-byte mouse and keyboard records to its standard input.
// Movement is summed and sent every `flushInterval`; buttons, scrolling and
// keys go out at once. Main thread only, except the pipe writes, which run in
// order on the "lum-input-write" thread.
class InputServer : public QObject, public InputSink {
    Q_OBJECT
public:
    struct Dependencies {
        const ToolPaths &paths;
        const Clock &clock = SteadyClock::instance();
        // The source tree a development build looks in for the archive when the
        // installation has none.
        QString sourceTree = defaultSourceTree();
    };

    // Called on the main thread once `start` has finished: with no failure when
    // the phone program is ready, otherwise with the error (LumarientError,
    // ShellError, or OperationCancelled when `stop` came first).
    using StartHandler = std::function<void(std::exception_ptr failure)>;
    using ExitHandler = std::function<void()>;

    static constexpr std::chrono::milliseconds flushInterval{8};
    static constexpr std::chrono::seconds startLimit{10};
    static constexpr const char *phoneJarPath = "/data/local/tmp/lumarient-input.jar";
    static constexpr const char *shellCommand = "CLASSPATH=/data/local/tmp/lumarient-input.jar app_process / "
                                                "com.corvantil.lumarient.input.LumarientInput";
    static constexpr const char *readyMarker = "LumarientInput ready";
    static constexpr const char *failureMarker = "fatal";

    explicit InputServer(Dependencies dependencies, QObject *parent = nullptr);
    ~InputServer() override;

    // The archive to copy to the phone: the installation's, else the source
    // tree's build output; none when neither exists.
    static std::optional<QString> jarPath(const ToolPaths &paths, const QString &sourceTree);
    static QString defaultSourceTree();

    // Starts the phone program on the phone with adb serial `serial`. `onExit`
    // runs on the main thread when the child ends by itself (never after
    // `stop`). With a child already present, `done` is called at once with no
    // failure; while another start is under way, `done` gets that start's result.
    void start(const QString &serial, StartHandler done, ExitHandler onExit);
    // Ends the link; safe in any state and repeatedly.
    void stop();

    void sendMouse(std::int64_t dx, std::int64_t dy, Buttons buttons, std::int64_t wheel, std::int64_t pan) override;
    void sendKeys(std::uint8_t modifiers, const std::vector<std::uint8_t> &keys) override;

    bool isReady() const { return isReady_; }
    bool hasProcess() const { return !process_.isNull(); }

private:
    struct PendingStart;

    void launch(const QString &serial);
    void onOutput();
    void finishStart(std::exception_ptr failure);
    void checkStartLimits();
    void flushPending();
    void write(const std::vector<InputRecords::Record> &records);
    void writeFailed(const std::shared_ptr<FileDescriptor> &input);

    Dependencies dependencies_;
    QPointer<QProcess> process_;
    std::shared_ptr<FileDescriptor> stdin_;
    bool isReady_ = false;
    MovementCoalescer coalescer_;
    QTimer flushTimer_;
    // The start under way, if any.
    std::shared_ptr<PendingStart> pending_;
    // Starts whose link was stopped while they waited for the ready line: they
    // still fail when their time is up.
    std::vector<std::shared_ptr<PendingStart>> abandoned_;
    QTimer startLimitTimer_;
    // Each start gets a number, so the push of a start that was stopped is ignored.
    std::uint64_t generation_ = 0;
    std::unique_ptr<WorkerLoop> writeQueue_;
    // Runs the blocking `adb push`.
    QThreadPool pool_;
};

} // namespace lumarient
