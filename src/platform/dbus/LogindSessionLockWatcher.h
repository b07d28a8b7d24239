#pragma once

#include "platform/SessionLockWatcher.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>

namespace lumarient {

// logind's Lock signal on the session object this process runs in. The
// session is looked up without blocking: by this process (GetSessionByPID),
// then by XDG_SESSION_ID, then through logind's "auto" session, which stands
// for the caller's own. Another session's Lock is not ours and is ignored.
// Without a reachable logind it simply never reports.
class LogindSessionLockWatcher final : public QObject, public SessionLockWatcher {
    Q_OBJECT
public:
    explicit LogindSessionLockWatcher(QDBusConnection bus = QDBusConnection::systemBus(), QObject *parent = nullptr);

    void setLockHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

    // The session object watched, once it is known.
    QString sessionPath() const { return sessionPath_; }

signals:
    // The session's object was found and its Lock signal is subscribed to.
    void watching();

private slots:
    void locked();

private:
    enum class Lookup { byProcess, byEnvironment, byAutoSession };

    void lookUp(Lookup step);
    void watch(const QDBusObjectPath &path);

    QDBusConnection bus_;
    QString sessionPath_;
    std::function<void()> handler_;
};

} // namespace lumarient
