#pragma once

#include <QDBusConnection>
#include <QObject>

namespace lumarient {

// Tells when the computer has woken from sleep: logind announces
// PrepareForSleep(true) before suspending and PrepareForSleep(false) after
// resuming. Without a reachable bus it simply never reports.
class LogindWakeWatcher : public QObject {
    Q_OBJECT
public:
    explicit LogindWakeWatcher(QDBusConnection bus = QDBusConnection::systemBus(), QObject *parent = nullptr);

    // Whether the watcher is subscribed to logind's signal.
    bool isWatching() const { return watching_; }

signals:
    void didWake();

private slots:
    void prepareForSleep(bool sleeping);

private:
    bool watching_ = false;
};

} // namespace lumarient
