#pragma once

#include "platform/Cancellation.h"

#include <QDBusConnection>
#include <QString>
#include <QThread>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace lumarient::portal {

inline constexpr const char *portalService = "org.freedesktop.portal.Desktop";
inline constexpr const char *portalPath = "/org/freedesktop/portal/desktop";
inline constexpr const char *screenCastInterface = "org.freedesktop.portal.ScreenCast";
inline constexpr const char *remoteDesktopInterface = "org.freedesktop.portal.RemoteDesktop";

// The object path a portal gives the Request for `token` of the caller with
// unique name `uniqueName` (":1.42" -> ".../request/1_42/<token>").
QString requestObjectPath(const QString &uniqueName, const QString &token);

// What came back from one portal request.
struct PortalResponse {
    enum class Outcome { answered, callFailed, noAnswer, cancelled };
    Outcome outcome = Outcome::noAnswer;
    // 0 granted, 1 declined by the user, 2 ended otherwise (only when answered).
    std::uint32_t code = 2;
    QVariantMap results;
    // The D-Bus error of a failed call.
    QString errorName;
    QString errorMessage;

    bool granted() const { return outcome == Outcome::answered && code == 0; }
};

// Calls portal methods that answer through a Request object's Response signal,
// and waits for that answer. The signal is subscribed before the call, under the
// path the portal will use. Answers are taken on a thread of its own, so the
// caller may block on any thread (including the one the bus is dispatched on).
// A request left without an answer (too late or cancelled) is closed, which
// takes its dialog down.
class PortalRequester {
public:
    explicit PortalRequester(QDBusConnection bus);
    ~PortalRequester();
    PortalRequester(const PortalRequester &) = delete;
    PortalRequester &operator=(const PortalRequester &) = delete;

    QDBusConnection &bus() { return bus_; }
    // Calls `interface`.`method`(arguments..., options + handle_token) on the
    // portal. `cancellation` (may be null) ends the wait for the answer early.
    PortalResponse request(const QString &interface, const QString &method, const QVariantList &arguments,
                           QVariantMap options, std::chrono::milliseconds limit, Cancellation *cancellation = nullptr);
    // The thread that takes the portal's signals.
    QThread &signalThread() { return answers_; }
    // A token unique in this process, for handle and session tokens.
    QString nextToken();

private:
    QDBusConnection bus_;
    QThread answers_;
    std::atomic<std::uint32_t> tokens_{0};
};

} // namespace lumarient::portal
