#include "tooling/Shell.h"

#include "platform/FileDescriptor.h"

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

using Clock = std::chrono::steady_clock;

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

// Reads whatever is in the pipe now; returns false at end of file.
bool readAvailable(int fd, QByteArray &into)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, got);
            continue;
        }
        if (got == 0)
            return false;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
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
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw ShellError::launchFailed(path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
    FileDescriptor readEnd(pipeFds[0]);
    FileDescriptor writeEnd(pipeFds[1]);
    // Only our end is non-blocking: reads take what is there and go back to poll.
    ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);

    const pid_t pid = spawnChild(path, arguments, writeEnd.get());
    writeEnd.reset();
    const auto deadline = Clock::now() + timeLimit;

    // Watching the child itself, not only the pipe: a daemon that the child
    // leaves behind (adb starts its server so) may hold the pipe open for ever.
    FileDescriptor childFd(int(::syscall(SYS_pidfd_open, pid, 0)));
    QByteArray output;
    bool pipeOpen = true;
    bool exited = false;
    bool timedOut = false;
    while (pipeOpen || !exited) {
        const int waitMs = remainingMs(deadline);
        if (waitMs == 0) {
            timedOut = true;
            break;
        }
        pollfd watched[2];
        nfds_t count = 0;
        if (pipeOpen)
            watched[count++] = {readEnd.get(), POLLIN, 0};
        const bool watchChild = childFd.get() >= 0 && !exited;
        if (watchChild)
            watched[count++] = {childFd.get(), POLLIN, 0};
        // Without a pidfd, check on the child every so often.
        const int pollMs = watchChild ? waitMs : std::min(waitMs, 20);
        const int ready = ::poll(watched, count, pollMs);
        if (ready < 0 && errno != EINTR)
            break;
        if (pipeOpen && count > 0 && (watched[0].revents & (POLLIN | POLLHUP | POLLERR)))
            pipeOpen = readAvailable(readEnd.get(), output);
        if (!exited) {
            if (watchChild)
                exited = watched[count - 1].revents & POLLIN;
            else if (childFd.get() < 0) {
                siginfo_t info{};
                exited = ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
            }
        }
        if (exited && pipeOpen) {
            // The child is gone; take what it left in the pipe and stop there.
            readAvailable(readEnd.get(), output);
            pipeOpen = false;
        }
    }

    if (timedOut) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        const int status = waitForExit(pid);
        QString partial = decodeOutput(output);
        if (!partial.isEmpty() && !partial.endsWith(QLatin1Char('\n')))
            partial += QLatin1Char('\n');
        partial += QStringLiteral("Stopped: no answer within %1 s").arg(double(timeLimit.count()) / 1000.0);
        throw ShellError::nonZeroExit(joinedCommand(path, arguments), exitCodeOf(status), partial);
    }

    const int status = waitForExit(pid);
    const QString text = decodeOutput(output);
    const int code = exitCodeOf(status);
    if (code != 0)
        throw ShellError::nonZeroExit(joinedCommand(path, arguments), code, text);
    return text;
}

} // namespace lumarient::Shell
