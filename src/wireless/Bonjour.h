#pragma once

#include "platform/ServiceDiscovery.h"
#include "model/DiscoveredService.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace lumarient {

// A running browse for one service type, keeping every found service resolved.
// Hands its subscriber the complete list of resolved services (IPv4 only) each
// time a service resolves or goes away. Lives on the main thread; stopping it or
// destroying it ends the browse, after which the subscriber hears nothing more.
class BonjourBrowser final : public QObject, private ServiceBrowsingEvents {
    Q_OBJECT
public:
    using OnUpdate = std::function<void(const QList<DiscoveredService> &)>;

    static constexpr std::chrono::seconds firstResolveTimeout{10};
    static constexpr std::chrono::seconds refreshResolveTimeout{4};

    BonjourBrowser(OnUpdate onUpdate, std::chrono::milliseconds refreshInterval);
    ~BonjourBrowser() override;

    void stop();
    bool isRunning() const { return browsing_ != nullptr; }

    // Asks every found service to resolve again; the refresh timer calls this.
    void refreshTick();

private:
    friend class Bonjour;

    void start(ServiceDiscovery &discovery, const QString &type);

    void serviceFound(const QString &name) override;
    void serviceRemoved(const QString &name) override;
    void serviceResolved(const QString &name, const QList<ServiceAddress> &addresses) override;
    void deliver();

    OnUpdate onUpdate_;
    QTimer refreshTimer_;
    std::unique_ptr<ServiceBrowsing> browsing_;
    // Every found and not yet removed instance name.
    QSet<QString> services_;
    // Every found service whose IPv4 address is known, by instance name.
    QHash<QString, DiscoveredService> resolved_;
};

// Finds phones that announce adb wireless-debugging services on the local network.
class Bonjour {
public:
    static constexpr std::chrono::seconds refreshInterval{4};

    explicit Bonjour(ServiceDiscovery &discovery, std::chrono::milliseconds interval = refreshInterval);

    // Starts browsing `type` in "local.". `onUpdate` runs on the main thread.
    std::unique_ptr<BonjourBrowser> browse(const QString &type, BonjourBrowser::OnUpdate onUpdate);

private:
    ServiceDiscovery &discovery_;
    std::chrono::milliseconds interval_;
};

} // namespace lumarient
