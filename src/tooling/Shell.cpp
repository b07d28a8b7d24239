#include "tooling/Shell.h"

#include "platform/FileDescriptor.h"
#include "tooling/ShellCancellation.h"

#include <QUtf8StringView>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace lumarient::Shell {
namespace {

using Clock = ShellCancellation::Clock;

// Why a run ended its child itself.
enum class Stop { none, timedOut, tooMuchOutput, cancelled };

QString joinedCommand(const QString &path, const QStringList &arguments)
{
    QStringList words{path};
    words.append(arguments);
    return words.join(QLatin1Char(' '));
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : int(left.count());
}

enum class PipeState { open, closed, full };

// Reads whatever is in the pipe now, but stops once more than outputLimit bytes
// are kept: a child that never stops printing must not keep us here.
PipeState readAvailable(int fd, QByteArray &into)
{
    char buffer[65536];
    for (;;) {
        if (into.size() > outputLimit)
            return PipeState::full;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, got);
            continue;
        }
        if (got == 0)
            return PipeState::closed;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? PipeState::open : PipeState::closed;
    }
}

// Output cut at the limit may end inside a character; that part is dropped.
QString decodeCut(const QByteArray &bytes)
{
    for (qsizetype drop = 0; drop < 4 && drop <= bytes.size(); ++drop) {
        const QByteArrayView head(bytes.constData(), bytes.size() - drop);
        if (QUtf8StringView(head).isValidUtf8())
            return QString::fromUtf8(head);
    }
    return QString();
}

int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return WTERMSIG(status);
    return -1;
}

pid_t spawnChild(const QString &path, const QStringList &arguments, int outputFd)
{
    const QByteArray pathBytes = path.toLocal8Bit();
    std::vector<QByteArray> argBytes;
    argBytes.reserve(size_t(arguments.size()) + 1);
    argBytes.push_back(pathBytes);
    for (const QString &argument : arguments)
        argBytes.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &bytes : argBytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    posix_spawn_file_actions_adddup2(&actions, outputFd, 2);

    // Its own process group, so a child stopped for running too long takes its
    // own children with it; default signal handling whatever the app changed.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals, defaultSignals;
    sigemptyset(&noSignals);
    sigfillset(&defaultSignals);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &defaultSignals);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int error = posix_spawn(&pid, pathBytes.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        throw ShellError::launchFailed(path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
    return pid;
}

int waitForExit(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

QString decodeOutput(const QByteArray &bytes)
{
    if (!QUtf8StringView(bytes).isValidUtf8())
        return QString();
    return QString::fromUtf8(bytes);
}

QString run(const QString &path, const QStringList &arguments, std::chrono::milliseconds timeLimit)
{
    const std::optional<Clock::time_point> stopAtStart = ShellCancellation::stopTime();
    if (stopAtStart && *stopAtStart <= Clock::now())
        throw ShellError::launchFailed(path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(ECANCELED)));

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw ShellError::launchFailed(path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
    FileDescriptor readEnd(pipeFds[0]);
    FileDescriptor writeEnd(pipeFds[1]);
    // Only our end is non-blocking: reads take what is there and go back to poll.
    ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);

    const pid_t pid = spawnChild(path, arguments, writeEnd.get());
    writeEnd.reset();
    const auto timeLimitEnd = Clock::now() + timeLimit;

    // Watching the child itself, not only the pipe: a daemon that the child
    // leaves behind (adb starts its server so) may hold the pipe open for ever.
    FileDescriptor childFd(int(::syscall(SYS_pidfd_open, pid, 0)));
    const int wakeFd = ShellCancellation::wakeDescriptor();
    bool watchWake = wakeFd >= 0 && !stopAtStart;
    QByteArray output;
    bool pipeOpen = true;
    bool exited = false;
    Stop stop = Stop::none;
    while (stop == Stop::none && (pipeOpen || !exited)) {
        const std::optional<Clock::time_point> stopAt = ShellCancellation::stopTime();
        const bool cancelFirst = stopAt && *stopAt < timeLimitEnd;
        const int waitMs = remainingMs(cancelFirst ? *stopAt : timeLimitEnd);
        if (waitMs == 0) {
            stop = cancelFirst ? Stop::cancelled : Stop::timedOut;
            break;
        }
        pollfd watched[3];
        nfds_t count = 0;
        const int pipeIndex = pipeOpen ? int(count++) : -1;
        if (pipeIndex >= 0)
            watched[pipeIndex] = {readEnd.get(), POLLIN, 0};
        const int childIndex = childFd.get() >= 0 && !exited ? int(count++) : -1;
        if (childIndex >= 0)
            watched[childIndex] = {childFd.get(), POLLIN, 0};
        const int wakeIndex = watchWake ? int(count++) : -1;
        if (wakeIndex >= 0)
            watched[wakeIndex] = {wakeFd, POLLIN, 0};
        // Without a pidfd, and once a stop is under way (a later cancelAll may
        // bring it forward) or cannot be waited for, look again every so often.
        const bool mustLook = (!exited && childIndex < 0) || !watchWake;
        const int ready = ::poll(watched, count, mustLook ? std::min(waitMs, 20) : waitMs);
        if (ready < 0) {
            if (errno != EINTR)
                break;
            for (pollfd &entry : watched)
                entry.revents = 0;
        }
        if (wakeIndex >= 0 && (watched[wakeIndex].revents & POLLIN))
            watchWake = false;
        if (pipeIndex >= 0 && (watched[pipeIndex].revents & (POLLIN | POLLHUP | POLLERR))) {
            const PipeState state = readAvailable(readEnd.get(), output);
            pipeOpen = state == PipeState::open;
            if (state == PipeState::full)
                stop = Stop::tooMuchOutput;
        }
        if (!exited) {
            if (childIndex >= 0)
                exited = watched[childIndex].revents & POLLIN;
            else if (childFd.get() < 0) {
                siginfo_t info{};
                exited = ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
            }
        }
        if (stop == Stop::none && exited && pipeOpen) {
            // The child is gone; take what it left in the pipe and stop there.
            if (readAvailable(readEnd.get(), output) == PipeState::full)
                stop = Stop::tooMuchOutput;
            pipeOpen = false;
        }
    }

    if (stop != Stop::none) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        const int status = waitForExit(pid);
        QString partial;
        QString reason;
        switch (stop) {
        case Stop::timedOut:
            partial = decodeOutput(output);
            reason = QStringLiteral("no answer within %1 s").arg(double(timeLimit.count()) / 1000.0);
            break;
        case Stop::tooMuchOutput:
            partial = decodeCut(output.first(outputLimit));
            reason = QStringLiteral("more than %1 MiB of output").arg(outputLimit / (1024 * 1024));
            break;
        case Stop::cancelled:
        case Stop::none:
            partial = decodeOutput(output);
            reason = QStringLiteral("cancelled");
            break;
        }
        if (!partial.isEmpty() && !partial.endsWith(QLatin1Char('\n')))
            partial += QLatin1Char('\n');
        partial += QStringLiteral("Stopped: ") + reason;
        // A child that had already ended on its own reports that; otherwise
        // (or if it ended well) the kill is what ended it.
        const int code = exitCodeOf(status);
        throw ShellError::nonZeroExit(joinedCommand(path, arguments), code == 0 ? SIGKILL : code, partial);
    }

    const int status = waitForExit(pid);
    const QString text = decodeOutput(output);
    const int code = exitCodeOf(status);
    if (code != 0)
        throw ShellError::nonZeroExit(joinedCommand(path, arguments), code, text);
    return text;
}

} // namespace lumarient::Shell
