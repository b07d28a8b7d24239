#pragma once

#include "platform/WakeMonitor.h"

#include <QDBusConnection>
#include <QObject>

namespace lumarient {

// Wake-ups as logind announces them on the system bus: PrepareForSleep(false)
// from org.freedesktop.login1. Without a system bus or logind it reports nothing.
class LogindWakeMonitor final : public QObject, public WakeMonitor {
    Q_OBJECT
public:
    explicit LogindWakeMonitor(QDBusConnection bus = QDBusConnection::systemBus());

    void start(std::function<void()> onWake) override;

private slots:
    void prepareForSleep(bool sleeping);

private:
    QDBusConnection bus_;
    std::function<void()> onWake_;
    bool started_ = false;
};

} // namespace lumarient
