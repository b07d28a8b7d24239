#include "input/InputServer.h"

#include "model/LumarientError.h"
#include "platform/FileDescriptor.h"
#include "platform/Log.h"
#include "platform/Sleeper.h"
#include "platform/WorkerLoop.h"
#include "tooling/AdbShellChild.h"
#include "tooling/Shell.h"
#include "tooling/ShellError.h"
#include "tooling/ToolPaths.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace lumarient {
namespace {

const QString component = QStringLiteral("InputServer");

// A phone that stops reading for this long is treated like a closed pipe, so a
// stuck link can never hold the writer (and the app's exit) for ever.
constexpr int writeStallLimitMs = 5000;

// Writes all of `bytes` to the non-blocking `fd`; returns the failure, if any.
std::optional<QString> writeAll(int fd, const QByteArray &bytes)
{
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + offset, size_t(bytes.size() - offset));
        if (written > 0) {
            offset += written;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN) {
            pollfd ready{fd, POLLOUT, 0};
            const int polled = ::poll(&ready, 1, writeStallLimitMs);
            if (polled > 0 && !(ready.revents & (POLLERR | POLLHUP)))
                continue;
            if (polled < 0 && errno == EINTR)
                continue;
            if (polled == 0)
                return QStringLiteral("the phone stopped reading input");
            errno = EPIPE;
        }
        const int error = errno;
        if (error == EPIPE) {
            // The blocked SIGPIPE of this write is consumed, so none stays pending.
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            const timespec none{0, 0};
            ::sigtimedwait(&pipeSignal, nullptr, &none);
        }
        return QString::fromLocal8Bit(std::strerror(error));
    }
    return std::nullopt;
}

} // namespace

// One start from `start` until it reports: the callers waiting for it and,
// once the child runs, the moment it stops waiting for the ready line.
struct InputServer::PendingStart {
    std::vector<StartHandler> handlers;
    ExitHandler onExit;
    std::optional<Clock::TimePoint> deadline;
};

InputServer::InputServer(Dependencies dependencies, QObject *parent)
    : QObject(parent), dependencies_(std::move(dependencies)), writeQueue_(new WorkerLoop("lum-input-write"))
{
    // A write to a phone program that has gone must fail with EPIPE, not end
    // the process: the signal is blocked on the writer's thread.
    writeQueue_->post([] {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    });
    writeQueue_->start();
    flushTimer_.setTimerType(Qt::PreciseTimer);
    flushTimer_.setInterval(flushInterval);
    connect(&flushTimer_, &QTimer::timeout, this, &InputServer::flushPending);
    startLimitTimer_.setInterval(std::chrono::milliseconds(50));
    connect(&startLimitTimer_, &QTimer::timeout, this, &InputServer::checkStartLimits);
    pool_.setMaxThreadCount(1);
}

InputServer::~InputServer()
{
    stop();
    pool_.waitForDone();
    // Every record and the final close reach the pipe before the writer goes.
    writeQueue_->stop();
}

QString InputServer::defaultSourceTree()
{
    return QStringLiteral(LUMARIENT_SOURCE_TREE);
}

std::optional<QString> InputServer::jarPath(const ToolPaths &paths, const QString &sourceTree)
{
    const QString bundled = paths.bundled(QStringLiteral("share/lumarient/lumarient-input.jar"));
    if (QFileInfo(bundled).isFile())
        return bundled;
    if (!sourceTree.isEmpty()) {
        const QString development = sourceTree + QStringLiteral("/companion/inputserver/build/lumarient-input.jar");
        if (QFileInfo(development).isFile())
            return development;
    }
    return std::nullopt;
}

void InputServer::start(const QString &serial, StartHandler done, ExitHandler onExit)
{
    if (process_) {
        if (done)
            done(nullptr);
        return;
    }
    if (pending_) {
        pending_->handlers.push_back(std::move(done));
        return;
    }
    const std::optional<QString> jar = jarPath(dependencies_.paths, dependencies_.sourceTree);
    if (!jar) {
        if (done)
            done(std::make_exception_ptr(
                LumarientError::message(QStringLiteral("The phone input server is missing from this build."))));
        return;
    }
    pending_ = std::make_shared<PendingStart>();
    pending_->handlers.push_back(std::move(done));
    pending_->onExit = std::move(onExit);
    const std::uint64_t generation = ++generation_;
    const QString adb = dependencies_.paths.adb();
    const QStringList arguments{QStringLiteral("-s"), serial, QStringLiteral("push"), *jar,
                                QLatin1String(phoneJarPath)};
    QPointer<InputServer> self(this);
    pool_.start([self, adb, arguments, serial, generation] {
        std::exception_ptr failure;
        try {
            Shell::run(adb, arguments);
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, failure, serial, generation] {
                if (!self || self->generation_ != generation || !self->pending_)
                    return;
                if (failure)
                    self->finishStart(failure);
                else
                    self->launch(serial);
            },
            Qt::QueuedConnection);
    });
}

void InputServer::launch(const QString &serial)
{
    AdbShellChild child;
    try {
        child = AdbShellChild::start(dependencies_.paths.adb(), serial, QLatin1String(shellCommand));
    } catch (const ShellError &) {
        finishStart(std::current_exception());
        return;
    }
    QProcess *process = child.process;
    connect(process, &QProcess::readyReadStandardOutput, this, &InputServer::onOutput);
    const ExitHandler onExit = pending_->onExit;
    connect(process, &QProcess::finished, this, [onExit] {
        if (onExit)
            onExit();
    });
    process_ = process;
    stdin_ = std::move(child.input);
    pending_->deadline = dependencies_.clock.now() + startLimit;
    startLimitTimer_.start();
}

void InputServer::onOutput()
{
    if (!process_)
        return;
    const QByteArray bytes = process_->readAllStandardOutput();
    if (bytes.isEmpty())
        return;
    const QString text = Shell::decodeOutput(bytes);
    if (text.isEmpty())
        return;
    const QString trimmed = text.trimmed();
    logLine(component, trimmed);
    if (!pending_ || !pending_->deadline)
        return;
    if (text.contains(QLatin1String(readyMarker)))
        finishStart(nullptr);
    else if (text.contains(QLatin1String(failureMarker)))
        finishStart(std::make_exception_ptr(LumarientError::message(trimmed)));
}

void InputServer::checkStartLimits()
{
    const Clock::TimePoint now = dependencies_.clock.now();
    const auto timeout = [] {
        return std::make_exception_ptr(
            LumarientError::message(QStringLiteral("The phone's input server didn't start in time.")));
    };
    std::vector<std::shared_ptr<PendingStart>> expired;
    std::erase_if(abandoned_, [&](const std::shared_ptr<PendingStart> &start) {
        if (*start->deadline > now)
            return false;
        expired.push_back(start);
        return true;
    });
    if (pending_ && pending_->deadline && *pending_->deadline <= now)
        finishStart(timeout());
    for (const std::shared_ptr<PendingStart> &start : expired) {
        for (const StartHandler &handler : start->handlers) {
            if (handler)
                handler(timeout());
        }
    }
    if ((!pending_ || !pending_->deadline) && abandoned_.empty())
        startLimitTimer_.stop();
}

void InputServer::finishStart(std::exception_ptr failure)
{
    const std::shared_ptr<PendingStart> finished = std::move(pending_);
    pending_.reset();
    if (!finished)
        return;
    if (failure) {
        stop();
    } else {
        isReady_ = true;
    }
    for (const StartHandler &handler : finished->handlers) {
        if (handler)
            handler(failure);
    }
}

void InputServer::stop()
{
    flushTimer_.stop();
    flushPending();
    isReady_ = false;
    coalescer_.forgetButtons();
    std::shared_ptr<FileDescriptor> input = std::move(stdin_);
    stdin_.reset();
    QPointer<QProcess> process = process_;
    if (process)
        process->disconnect(this);
    process_.clear();

    if (const std::shared_ptr<PendingStart> start = std::move(pending_)) {
        pending_.reset();
        if (start->deadline) {
            abandoned_.push_back(start);
        } else {
            // Stopped while the archive was being copied: the child is never launched.
            ++generation_;
            for (const StartHandler &handler : start->handlers) {
                if (handler)
                    handler(std::make_exception_ptr(OperationCancelled()));
            }
        }
    }

    if (!input && !process)
        return;
    writeQueue_->post([input, process] {
        if (input)
            input->reset();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [process] {
                if (process)
                    process->terminate();
            },
            Qt::QueuedConnection);
    });
}

void InputServer::flushPending()
{
    if (std::optional<InputRecords::Record> record = coalescer_.flushPending())
        write({*record});
    else
        flushTimer_.stop(); // a resting pointer costs no wake-ups
}

void InputServer::sendMouse(std::int64_t dx, std::int64_t dy, Buttons buttons, std::int64_t wheel, std::int64_t pan)
{
    write(coalescer_.sendMouse(dx, dy, buttons, wheel, pan));
    if (isReady_ && (coalescer_.pendingDX() != 0 || coalescer_.pendingDY() != 0) && !flushTimer_.isActive())
        flushTimer_.start();
}

void InputServer::sendKeys(std::uint8_t modifiers, const std::vector<std::uint8_t> &keys)
{
    write(coalescer_.sendKeys(modifiers, keys));
}

void InputServer::write(const std::vector<InputRecords::Record> &records)
{
    if (!isReady_ || !stdin_ || records.empty())
        return;
    QByteArray bytes;
    for (const InputRecords::Record &record : records)
        bytes.append(reinterpret_cast<const char *>(record.data()), qsizetype(record.size()));
    QPointer<InputServer> self(this);
    writeQueue_->post([input = stdin_, bytes, self] {
        const std::optional<QString> failure = writeAll(input->get(), bytes);
        if (!failure)
            return;
        logLine(component, QStringLiteral("write failed: ") + *failure);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, input] {
                if (self)
                    self->writeFailed(input);
            },
            Qt::QueuedConnection);
    });
}

void InputServer::writeFailed(const std::shared_ptr<FileDescriptor> &input)
{
    // A failure of a link that has since been stopped (or restarted) is old news.
    if (input != stdin_)
        return;
    isReady_ = false;
    // A link that can no longer deliver input ends: the child goes, and its exit
    // tells the owner, instead of a phone that silently ignores every key.
    if (process_)
        process_->terminate();
}

} // namespace lumarient
