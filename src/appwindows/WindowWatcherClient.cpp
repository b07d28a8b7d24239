#include "appwindows/WindowWatcherClient.h"

#include "appwindows/FreeformRestore.h"
#include "input/InputServer.h"
#include "model/LumarientError.h"
#include "platform/FileDescriptor.h"
#include "platform/Log.h"
#include "platform/Sleeper.h"
#include "platform/UserDefaults.h"
#include "tooling/AdbShellChild.h"
#include "tooling/Shell.h"
#include "tooling/ShellError.h"
#include "tooling/ToolPaths.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace lumarient {
namespace {

const QString component = QStringLiteral("WindowWatcher");

// Writes a short line to the non-blocking pipe `fd` without ever stalling the
// main thread or raising SIGPIPE; a line the phone cannot take now is dropped.
void writeLine(int fd, const QByteArray &bytes)
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    ssize_t written;
    do {
        written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    } while (written < 0 && errno == EINTR);
    if (written < 0 && errno == EPIPE && !sigismember(&previous, SIGPIPE)) {
        // The SIGPIPE of this write is consumed, so none stays pending once unblocked.
        const timespec none{0, 0};
        ::sigtimedwait(&pipeSignal, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// A decimal integer with an optional sign and nothing else; none when it does
// not fit 64 bits.
std::optional<qint64> decimal(const QString &field)
{
    const qsizetype digitsFrom = field.startsWith(QLatin1Char('-')) || field.startsWith(QLatin1Char('+')) ? 1 : 0;
    if (field.size() == digitsFrom)
        return std::nullopt;
    for (qsizetype i = digitsFrom; i < field.size(); ++i) {
        if (field[i] < QLatin1Char('0') || field[i] > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = field.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

std::optional<int> decimalInt(const QString &field)
{
    const std::optional<qint64> value = decimal(field);
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(*value);
}

} // namespace

// One start from `start` until it reports: the callers waiting for it and,
// once the child runs, when it stops waiting for the ready line.
struct WindowWatcherClient::PendingStart {
    std::vector<StartHandler> handlers;
    std::optional<Clock::TimePoint> deadline;
};

QString DragEvent::boundsArgument() const
{
    return QStringLiteral("%1 %2 %3 %4").arg(x).arg(y).arg(qint64(x) + width).arg(qint64(y) + height);
}

QString DragEvent::edgeText(Edge edge)
{
    switch (edge) {
    case Edge::left:
        return QStringLiteral("left");
    case Edge::right:
        return QStringLiteral("right");
    case Edge::top:
        return QStringLiteral("top");
    case Edge::bottom:
        return QStringLiteral("bottom");
    }
    return {};
}

std::optional<DragEvent::Edge> DragEvent::edgeFromText(const QString &text)
{
    for (const Edge edge : {Edge::left, Edge::right, Edge::top, Edge::bottom}) {
        if (text == edgeText(edge))
            return edge;
    }
    return std::nullopt;
}

WindowWatcherClient::WindowWatcherClient(Dependencies dependencies, QObject *parent)
    : QObject(parent), dependencies_(std::move(dependencies))
{
    startLimitTimer_.setInterval(std::chrono::milliseconds(50));
    connect(&startLimitTimer_, &QTimer::timeout, this, &WindowWatcherClient::checkStartLimit);
    pool_.setMaxThreadCount(1);
}

WindowWatcherClient::~WindowWatcherClient()
{
    stop(false);
    // Background restores still reach the phone before the client goes.
    pool_.waitForDone();
}

QString WindowWatcherClient::defaultSourceTree()
{
    return QStringLiteral(LUMARIENT_SOURCE_TREE);
}

QString WindowWatcherClient::freeformKey(const QString &serial)
{
    return QStringLiteral("freeformWasOffBefore-") + serial;
}

std::optional<DragEvent> WindowWatcherClient::parseDrag(const QString &line)
{
    const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (fields.size() < 8 || fields[0] != QLatin1String("drag") || fields[2] == QLatin1String("?"))
        return std::nullopt;
    const std::optional<qint64> task = decimal(fields[1]);
    const std::optional<DragEvent::Edge> edge = DragEvent::edgeFromText(fields[3]);
    const std::optional<int> x = decimalInt(fields[4]);
    const std::optional<int> y = decimalInt(fields[5]);
    const std::optional<int> width = decimalInt(fields[6]);
    const std::optional<int> height = decimalInt(fields[7]);
    if (!task || !edge || !x || !y || !width || !height)
        return std::nullopt;
    DragEvent event{*task, fields[2], *edge, *x, *y, *width, *height, std::nullopt};
    if (fields.size() >= 9 && fields[8] == QLatin1String("land"))
        event.capturedLandscape = true;
    else if (fields.size() >= 9 && fields[8] == QLatin1String("port"))
        event.capturedLandscape = false;
    return event;
}

void WindowWatcherClient::start(const QString &serial, DragHandler onDrag, ExitHandler onExit, StartHandler done)
{
    if (process_) {
        if (done)
            done(nullptr);
        return;
    }
    if (start_) {
        start_->handlers.push_back(std::move(done));
        return;
    }
    const std::optional<QString> jar = InputServer::jarPath(dependencies_.paths, dependencies_.sourceTree);
    if (!jar) {
        if (done)
            done(std::make_exception_ptr(
                LumarientError::message(QStringLiteral("The phone window watcher is missing from this build."))));
        return;
    }
    start_ = std::make_shared<PendingStart>();
    start_->handlers.push_back(std::move(done));
    onDrag_ = std::move(onDrag);
    onExit_ = std::move(onExit);
    const std::uint64_t generation = ++generation_;
    const QString adb = dependencies_.paths.adb();
    const QString source = *jar;
    QPointer<WindowWatcherClient> self(this);
    pool_.start([self, adb, source, serial, generation] {
        std::exception_ptr failure;
        std::optional<QString> current;
        try {
            Shell::run(adb,
                       {QStringLiteral("-s"), serial, QStringLiteral("push"), source, QLatin1String(phoneJarPath)});
            try {
                current =
                    Shell::run(adb, {QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("settings"),
                                     QStringLiteral("get"), QStringLiteral("global"), QLatin1String(freeformSetting)})
                        .trimmed();
            } catch (const ShellError &) {
                // An unreadable setting counts as one that is not set.
            }
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, failure, current, serial, generation] {
                if (!self || self->generation_ != generation || !self->start_)
                    return;
                if (failure)
                    self->finishStart(failure);
                else
                    self->prepared(serial, current);
            },
            Qt::QueuedConnection);
    });
}

void WindowWatcherClient::prepared(const QString &serial, const std::optional<QString> &currentFreeform)
{
    const QString key = freeformKey(serial);
    if (dependencies_.defaults.contains(key)) {
        // Left by a run that never ended cleanly: that run saw the phone's own value.
        previousFreeform_ = dependencies_.defaults.value(key).toString();
    } else {
        previousFreeform_ = currentFreeform;
        dependencies_.defaults.setValue(key, currentFreeform.value_or(QStringLiteral("null")));
    }
    freeformKey_ = key;
    startedSerial_ = serial;
    launch(serial);
}

void WindowWatcherClient::launch(const QString &serial)
{
    AdbShellChild child;
    try {
        child = AdbShellChild::start(dependencies_.paths.adb(), serial, QLatin1String(shellCommand));
    } catch (const ShellError &) {
        finishStart(std::current_exception());
        return;
    }
    QProcess *process = child.process;
    connect(process, &QProcess::readyReadStandardOutput, this, &WindowWatcherClient::onOutput);
    connect(process, &QProcess::finished, this, &WindowWatcherClient::onFinished);
    process_ = process;
    stdin_ = std::move(child.input);
    markerTail_.clear();
    start_->deadline = dependencies_.clock.now() + startLimit;
    startLimitTimer_.start();
}

void WindowWatcherClient::onOutput()
{
    if (!process_)
        return;
    const QByteArray bytes = process_->readAllStandardOutput();
    if (bytes.isEmpty())
        return;
    std::optional<std::exception_ptr> outcome;
    if (start_ && start_->deadline) {
        // Looked for in what came before too, so a marker split between reads is still seen.
        const QByteArray seen = markerTail_ + bytes;
        if (seen.contains(readyMarker)) {
            outcome = nullptr;
        } else if (seen.contains(failureMarker)) {
            const QByteArray chunk = bytes.contains(failureMarker) ? bytes : seen;
            outcome = std::make_exception_ptr(LumarientError::message(QString::fromUtf8(chunk).trimmed()));
        } else {
            markerTail_ = seen.right(qsizetype(std::strlen(readyMarker)) - 1);
        }
    }
    consume(bytes);
    if (outcome)
        finishStart(*outcome);
}

void WindowWatcherClient::consume(const QByteArray &bytes)
{
    const QStringList lines = pending_.append(bytes);
    const std::uint64_t generation = generation_;
    for (const QString &line : lines) {
        if (line.isEmpty())
            continue;
        logLine(component, line);
        // A drag handler that stops the watcher ends the delivery of this read too.
        if (generation_ != generation)
            continue;
        if (const std::optional<DragEvent> event = parseDrag(line); event && onDrag_) {
            const DragHandler handler = onDrag_;
            handler(*event);
        }
    }
}

void WindowWatcherClient::onFinished()
{
    QProcess *finished = qobject_cast<QProcess *>(sender());
    if (!finished || finished != process_)
        return;
    // What the child printed last still counts.
    onOutput();
    finished->disconnect(this);
    process_.clear();
    stdin_.reset();
    isReady_ = false;
    lastCursorEdge_.reset();
    pending_.clear();
    if (startedSerial_) {
        restoreFreeform(*startedSerial_, previousFreeform_, false);
        startedSerial_.reset();
    }
    if (freeformKey_) {
        dependencies_.defaults.remove(*freeformKey_);
        freeformKey_.reset();
    }
    const ExitHandler onExit = onExit_;
    if (onExit)
        onExit();
}

void WindowWatcherClient::checkStartLimit()
{
    const Clock::TimePoint now = dependencies_.clock.now();
    if (start_ && start_->deadline && *start_->deadline <= now)
        finishStart(std::make_exception_ptr(
            LumarientError::message(QStringLiteral("The phone's window watcher didn't start in time."))));
    if (!start_ || !start_->deadline)
        startLimitTimer_.stop();
}

void WindowWatcherClient::finishStart(std::exception_ptr failure)
{
    const std::shared_ptr<PendingStart> finished = std::move(start_);
    start_.reset();
    if (!finished)
        return;
    startLimitTimer_.stop();
    if (failure) {
        stop(false);
    } else {
        isReady_ = true;
        send(QStringLiteral("watch 0"));
    }
    for (const StartHandler &handler : finished->handlers) {
        if (handler)
            handler(failure);
    }
}

void WindowWatcherClient::send(const QString &line)
{
    if (stdin_ && stdin_->isValid())
        writeLine(stdin_->get(), (line + QLatin1Char('\n')).toUtf8());
}

void WindowWatcherClient::setCursorEdge(const std::optional<QString> &edge)
{
    const QString value = edge.value_or(QStringLiteral("none"));
    // Only an edge the watcher was told counts as known to it, so one set
    // before the watcher runs is sent once it does.
    if (lastCursorEdge_ == value || !stdin_)
        return;
    lastCursorEdge_ = value;
    send(QStringLiteral("cursoredge ") + value);
}

void WindowWatcherClient::stop(bool synchronously)
{
    isReady_ = false;
    send(QStringLiteral("stop"));
    lastCursorEdge_.reset();
    QPointer<QProcess> process = process_;
    if (process)
        process->disconnect(this);
    stdin_.reset();
    if (process)
        process->terminate();
    process_.clear();
    pending_.clear();
    startLimitTimer_.stop();
    // Whatever an earlier start still has under way is ignored from now on.
    ++generation_;
    if (const std::shared_ptr<PendingStart> start = std::move(start_)) {
        start_.reset();
        for (const StartHandler &handler : start->handlers) {
            if (handler)
                handler(std::make_exception_ptr(OperationCancelled()));
        }
    }
    if (startedSerial_) {
        restoreFreeform(*startedSerial_, previousFreeform_, synchronously);
        startedSerial_.reset();
    }
    if (freeformKey_) {
        dependencies_.defaults.remove(*freeformKey_);
        freeformKey_.reset();
    }
}

void WindowWatcherClient::restoreFreeform(const QString &serial, const std::optional<QString> &previous,
                                          bool synchronously)
{
    const std::optional<QStringList> arguments = freeformRestoreArguments(serial, previous);
    if (!arguments)
        return;
    const QString adb = dependencies_.paths.adb();
    const auto work = [adb, arguments] {
        try {
            Shell::run(adb, *arguments);
        } catch (const ShellError &) {
            // The phone keeps whatever it has; nothing more can be done from here.
        }
    };
    if (synchronously)
        work();
    else
        pool_.start(work);
}

} // namespace lumarient
