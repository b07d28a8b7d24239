#include "SimStore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace phonesim {
namespace {

class LockGuard {
public:
    explicit LockGuard(int fd) : fd_(fd) {}
    ~LockGuard()
    {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    LockGuard(const LockGuard &) = delete;
    LockGuard &operator=(const LockGuard &) = delete;

private:
    int fd_;
};

SimState readStateFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return SimState();
    return SimState::fromJson(QJsonDocument::fromJson(file.readAll()).object());
}

} // namespace

SimStore::SimStore(QString folder) : folder_(std::move(folder)) {}

QString SimStore::folderFromEnvironment()
{
    return qEnvironmentVariable("LUMARIENT_PHONESIM_DIR");
}

QString SimStore::statePath() const
{
    return QDir(folder_).filePath(QStringLiteral("state.json"));
}

QString SimStore::logPath() const
{
    return QDir(folder_).filePath(QStringLiteral("invocations.jsonl"));
}

int SimStore::lock() const
{
    const QByteArray path = QDir(folder_).filePath(QStringLiteral("lock")).toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0)
        ::flock(fd, LOCK_EX);
    return fd;
}

void SimStore::update(const std::function<void(SimState &)> &change) const
{
    LockGuard guard(lock());
    SimState state = readStateFile(statePath());
    change(state);
    QSaveFile file(statePath());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(state.toJson()).toJson(QJsonDocument::Compact));
        file.commit();
    }
}

SimState SimStore::read() const
{
    LockGuard guard(lock());
    return readStateFile(statePath());
}

void SimStore::appendInvocation(const SimInvocation &invocation) const
{
    LockGuard guard(lock());
    QFile file(logPath());
    if (file.open(QIODevice::Append))
        file.write(QJsonDocument(invocation.toJson()).toJson(QJsonDocument::Compact) + '\n');
}

QList<SimInvocation> SimStore::invocations() const
{
    LockGuard guard(lock());
    QFile file(logPath());
    QList<SimInvocation> invocations;
    if (!file.open(QIODevice::ReadOnly))
        return invocations;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            invocations.append(SimInvocation::fromJson(QJsonDocument::fromJson(line).object()));
    }
    return invocations;
}

void SimStore::clearInvocations() const
{
    LockGuard guard(lock());
    QFile::remove(logPath());
}

} // namespace phonesim
