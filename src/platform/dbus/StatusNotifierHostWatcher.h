#pragma once

#include "platform/TrayHost.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

#include <cstdint>

namespace lumarient {

// Tray icons on a freedesktop desktop: present while org.kde.StatusNotifierWatcher
// is on the bus and says a host is registered with it. The first answer is asked
// for at once (briefly blocking, as a tray icon's own set-up does); later changes
// follow the watcher's name owner and its host signals without blocking.
class StatusNotifierHostWatcher final : public QObject, public TrayHost {
    Q_OBJECT
public:
    static constexpr int replyLimitMs = 1000;

    explicit StatusNotifierHostWatcher(QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);

    bool isPresent() const override { return present_; }
    void setChangeHandler(std::function<void(bool present)> handler) override { handler_ = std::move(handler); }

private slots:
    // A host registered or left: ask the watcher again rather than trust the signal's sender.
    void hostsChanged();

private:
    void ownerChanged(const QString &newOwner);
    void askAsync();
    void setPresent(bool present);

    QDBusConnection bus_;
    QDBusServiceWatcher nameWatcher_;
    bool present_ = false;
    // Only the newest question's answer counts.
    std::uint64_t question_ = 0;
    std::function<void(bool)> handler_;
};

} // namespace lumarient
