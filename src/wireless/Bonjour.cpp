#include "wireless/Bonjour.h"

#include <arpa/inet.h>
#include <sys/socket.h>

namespace lumarient {

BonjourBrowser::BonjourBrowser(OnUpdate onUpdate, std::chrono::milliseconds refreshInterval)
    : onUpdate_(std::move(onUpdate))
{
    refreshTimer_.setInterval(refreshInterval);
    connect(&refreshTimer_, &QTimer::timeout, this, &BonjourBrowser::refreshTick);
}

BonjourBrowser::~BonjourBrowser()
{
    stop();
}

void BonjourBrowser::start(ServiceDiscovery &discovery, const QString &type)
{
    browsing_ = discovery.browse(type, QStringLiteral("local."), *this);
    refreshTimer_.start();
}

void BonjourBrowser::stop()
{
    refreshTimer_.stop();
    browsing_.reset();
    services_.clear();
    resolved_.clear();
}

void BonjourBrowser::refreshTick()
{
    if (!browsing_)
        return;
    for (const QString &name : std::as_const(services_))
        browsing_->resolve(name, refreshResolveTimeout);
}

void BonjourBrowser::serviceFound(const QString &name)
{
    if (!browsing_)
        return;
    services_.insert(name);
    browsing_->resolve(name, firstResolveTimeout);
}

void BonjourBrowser::serviceRemoved(const QString &name)
{
    if (!browsing_)
        return;
    services_.remove(name);
    resolved_.remove(name);
    deliver();
}

void BonjourBrowser::serviceResolved(const QString &name, const QList<ServiceAddress> &addresses)
{
    // A late answer for a service that has gone since must not bring it back.
    if (!browsing_ || !services_.contains(name))
        return;
    for (const ServiceAddress &address : addresses) {
        if (address.family != AF_INET)
            continue;
        if (address.address.size() != 4)
            return;
        char text[INET_ADDRSTRLEN];
        if (inet_ntop(AF_INET, address.address.constData(), text, sizeof text) == nullptr)
            return;
        resolved_.insert(name, {name, name, QString::fromLatin1(text), address.port});
        deliver();
        return;
    }
}

void BonjourBrowser::deliver()
{
    if (onUpdate_)
        onUpdate_(resolved_.values());
}

Bonjour::Bonjour(ServiceDiscovery &discovery, std::chrono::milliseconds interval)
    : discovery_(discovery), interval_(interval)
{
}

std::unique_ptr<BonjourBrowser> Bonjour::browse(const QString &type, BonjourBrowser::OnUpdate onUpdate)
{
    auto browser = std::make_unique<BonjourBrowser>(std::move(onUpdate), interval_);
    browser->start(discovery_, type);
    return browser;
}

} // namespace lumarient
