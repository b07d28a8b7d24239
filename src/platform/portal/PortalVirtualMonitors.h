#pragma once

#include "platform/ScreenCapture.h"
#include "platform/VirtualMonitor.h"
#include "platform/portal/PortalRequest.h"

#include <QDBusConnection>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>

namespace lumarient {
class UserDefaults;
}

namespace lumarient::portal {

class ScreenCastSession;

// Virtual monitors on a Wayland desktop: each is a screen-cast session of the
// desktop portal with the virtual source type. The permission the user gives is
// kept (as a restore token in the settings) so the desktop asks only once.
// `create` waits for the portal, dialog included, so it belongs on a worker
// thread; the request's attempt ends that wait early. Any thread.
class PortalVirtualMonitorFactory final : public VirtualMonitorFactory {
public:
    static constexpr const char *restoreTokenKey = "screenCastRestoreToken";

    // `defaults` may be null (nothing is remembered then).
    PortalVirtualMonitorFactory(QDBusConnection bus, UserDefaults *defaults);
    ~PortalVirtualMonitorFactory() override;

    bool isAvailable() override;
    std::unique_ptr<VirtualMonitor> create(const VirtualMonitorRequest &request) override;

    // The session behind a display made here; null when it is gone.
    std::shared_ptr<ScreenCastSession> session(std::uint32_t displayID) const;
    // The display made last that still exists (pointer events go there).
    std::shared_ptr<ScreenCastSession> newestSession() const;

    void setAnswerLimit(std::chrono::milliseconds limit);

private:
    void forget(std::uint32_t displayID);

    PortalRequester requester_;
    UserDefaults *defaults_;
    // Under the mutex, with the sessions.
    mutable std::mutex mutex_;
    std::chrono::milliseconds answerLimit_{std::chrono::seconds(90)};
    std::map<std::uint32_t, std::weak_ptr<ScreenCastSession>> sessions_;
    std::uint32_t nextDisplayID_ = 1;

    friend class PortalVirtualMonitor;
};

// Captures a portal virtual monitor through its PipeWire stream.
class PortalScreenCaptureFactory final : public ScreenCaptureFactory {
public:
    explicit PortalScreenCaptureFactory(PortalVirtualMonitorFactory &monitors) : monitors_(monitors) {}
    std::unique_ptr<ScreenCapture> open(std::uint32_t displayID) override;

    void setFirstFrameLimit(std::chrono::milliseconds limit) { firstFrameLimit_ = limit; }

private:
    PortalVirtualMonitorFactory &monitors_;
    std::chrono::milliseconds firstFrameLimit_{std::chrono::seconds(5)};
};

} // namespace lumarient::portal
