#include "platform/portal/PortalVirtualMonitors.h"

#include "platform/UserDefaults.h"
#include "platform/pipewire/PipeWireScreenCapture.h"
#include "platform/portal/ScreenCastSession.h"

namespace lumarient::portal {

// The monitor lives as long as its session: closing the session removes it.
class PortalVirtualMonitor final : public VirtualMonitor {
public:
    PortalVirtualMonitor(PortalVirtualMonitorFactory &factory, std::uint32_t displayID,
                         std::shared_ptr<ScreenCastSession> session)
        : factory_(factory), displayID_(displayID), session_(std::move(session))
    {
    }
    ~PortalVirtualMonitor() override
    {
        factory_.forget(displayID_);
        session_->close();
    }

    std::uint32_t displayID() const override { return displayID_; }
    // The compositor places its monitors; the user arranges them in the desktop's settings.
    void placeAdjacentToOtherDisplays() override {}
    void setEndedHandler(std::function<void()> ended) override { session_->setEndedHandler(std::move(ended)); }

private:
    PortalVirtualMonitorFactory &factory_;
    std::uint32_t displayID_;
    std::shared_ptr<ScreenCastSession> session_;
};

PortalVirtualMonitorFactory::PortalVirtualMonitorFactory(QDBusConnection bus, UserDefaults *defaults)
    : requester_(std::move(bus)), defaults_(defaults)
{
}

PortalVirtualMonitorFactory::~PortalVirtualMonitorFactory() = default;

bool PortalVirtualMonitorFactory::isAvailable()
{
    return requester_.bus().isConnected();
}

void PortalVirtualMonitorFactory::setAnswerLimit(std::chrono::milliseconds limit)
{
    std::lock_guard lock(mutex_);
    answerLimit_ = limit;
}

std::unique_ptr<VirtualMonitor> PortalVirtualMonitorFactory::create(const VirtualMonitorRequest &request)
{
    ScreenCastSession::Options options;
    options.width = request.width;
    options.height = request.height;
    options.cancellation = request.attempt.get();
    {
        std::lock_guard lock(mutex_);
        options.answerLimit = answerLimit_;
    }
    const QString key = QString::fromLatin1(restoreTokenKey);
    if (defaults_ != nullptr) {
        options.restoreToken = defaults_->string(key);
    }
    ScreenCastSession::Started started = ScreenCastSession::start(requester_, options);
    if (request.attempt) {
        request.attempt->setFailure(started.failure);
    }
    if (!started.session) {
        return nullptr;
    }
    // Each token works once; the desktop hands out the next with every start.
    if (defaults_ != nullptr && !started.session->restoreToken().isEmpty()) {
        defaults_->setValue(key, started.session->restoreToken());
    }
    std::shared_ptr<ScreenCastSession> session = std::move(started.session);
    std::lock_guard lock(mutex_);
    const std::uint32_t displayID = nextDisplayID_++;
    sessions_[displayID] = session;
    return std::make_unique<PortalVirtualMonitor>(*this, displayID, std::move(session));
}

std::shared_ptr<ScreenCastSession> PortalVirtualMonitorFactory::session(std::uint32_t displayID) const
{
    std::lock_guard lock(mutex_);
    const auto found = sessions_.find(displayID);
    return found != sessions_.end() ? found->second.lock() : nullptr;
}

std::shared_ptr<ScreenCastSession> PortalVirtualMonitorFactory::newestSession() const
{
    std::lock_guard lock(mutex_);
    return sessions_.empty() ? nullptr : sessions_.rbegin()->second.lock();
}

void PortalVirtualMonitorFactory::forget(std::uint32_t displayID)
{
    std::lock_guard lock(mutex_);
    sessions_.erase(displayID);
}

std::unique_ptr<ScreenCapture> PortalScreenCaptureFactory::open(std::uint32_t displayID)
{
    const std::shared_ptr<ScreenCastSession> session = monitors_.session(displayID);
    if (!session) {
        return nullptr;
    }
    pipewire::StreamTarget target;
    target.remote = session->openPipeWireRemote();
    target.nodeID = session->nodeID();
    target.width = session->width();
    target.height = session->height();
    return pipewire::PipeWireScreenCapture::open(std::move(target), firstFrameLimit_);
}

} // namespace lumarient::portal
