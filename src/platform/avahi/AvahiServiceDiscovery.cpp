#include "platform/avahi/AvahiServiceDiscovery.h"

#include "platform/Log.h"

#include <QObject>
#include <QPointer>

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/thread-watch.h>

#include <sys/socket.h>

#include <atomic>
#include <map>
#include <set>
#include <utility>

namespace lumarient {

// One client connection to avahi-daemon with the thread that runs its events.
// Browses keep it alive, so a connection replaced after a daemon failure stays
// valid until the last browse on it is gone.
class AvahiConnection {
public:
    static std::shared_ptr<AvahiConnection> open(int &error)
    {
        auto connection = std::shared_ptr<AvahiConnection>(new AvahiConnection);
        connection->poll_ = avahi_threaded_poll_new();
        if (connection->poll_ == nullptr) {
            error = AVAHI_ERR_NO_MEMORY;
            return nullptr;
        }
        connection->client_ = avahi_client_new(avahi_threaded_poll_get(connection->poll_), AvahiClientFlags(0),
                                               &AvahiConnection::clientChanged, connection.get(), &error);
        if (connection->client_ == nullptr || avahi_threaded_poll_start(connection->poll_) < 0)
            return nullptr;
        return connection;
    }

    ~AvahiConnection()
    {
        if (poll_ != nullptr)
            avahi_threaded_poll_stop(poll_);
        if (client_ != nullptr)
            avahi_client_free(client_);
        if (poll_ != nullptr)
            avahi_threaded_poll_free(poll_);
    }

    AvahiClient *client() const { return client_; }
    bool hasFailed() const { return failed_; }
    void lock() { avahi_threaded_poll_lock(poll_); }
    void unlock() { avahi_threaded_poll_unlock(poll_); }

private:
    AvahiConnection() = default;

    static void clientChanged(AvahiClient *, AvahiClientState state, void *userdata)
    {
        if (state == AVAHI_CLIENT_FAILURE)
            static_cast<AvahiConnection *>(userdata)->failed_ = true;
    }

    AvahiThreadedPoll *poll_ = nullptr;
    AvahiClient *client_ = nullptr;
    std::atomic<bool> failed_ = false;
};

namespace {

class Locked {
public:
    explicit Locked(AvahiConnection &connection) : connection_(connection) { connection_.lock(); }
    ~Locked() { connection_.unlock(); }

private:
    AvahiConnection &connection_;
};

// Where the browser saw a service: it may be seen on several interfaces and
// protocols, and is gone only when the last of them goes.
struct Sighting {
    AvahiIfIndex interface;
    AvahiProtocol protocol;
    std::string domain;
    bool operator<(const Sighting &other) const
    {
        return std::tie(interface, protocol, domain) < std::tie(other.interface, other.protocol, other.domain);
    }
};

class AvahiBrowsing final : public ServiceBrowsing {
public:
    AvahiBrowsing(std::shared_ptr<AvahiConnection> connection, const QString &type, const QString &domain,
                  ServiceBrowsingEvents &events)
        : connection_(std::move(connection)), type_(type.toUtf8()), events_(events)
    {
        const Locked locked(*connection_);
        browser_ = avahi_service_browser_new(connection_->client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                             type_.constData(), domain.toUtf8().constData(), AvahiLookupFlags(0),
                                             &AvahiBrowsing::browserEvent, this);
        if (browser_ == nullptr) {
            logLine(QStringLiteral("Bonjour"),
                    QStringLiteral("cannot browse %1: %2")
                        .arg(type, QString::fromUtf8(avahi_strerror(avahi_client_errno(connection_->client())))));
        }
    }

    ~AvahiBrowsing() override
    {
        {
            // Holding the loop's lock means no callback of ours is running.
            const Locked locked(*connection_);
            for (auto &[name, resolver] : resolvers_)
                avahi_service_resolver_free(resolver);
            if (browser_ != nullptr)
                avahi_service_browser_free(browser_);
        }
        delete context_;
    }

    void resolve(const QString &name, std::chrono::seconds) override
    {
        // avahi-daemon applies its own resolver time-out.
        const Locked locked(*connection_);
        const std::string key = name.toStdString();
        const auto seen = sightings_.find(key);
        if (seen == sightings_.end() || seen->second.empty() || resolvers_.count(key) > 0)
            return;
        const Sighting &where = *seen->second.begin();
        AvahiServiceResolver *resolver = avahi_service_resolver_new(
            connection_->client(), where.interface, where.protocol, key.c_str(), type_.constData(),
            where.domain.c_str(), AVAHI_PROTO_INET, AvahiLookupFlags(0), &AvahiBrowsing::resolverEvent, this);
        if (resolver != nullptr)
            resolvers_[key] = resolver;
    }

private:
    template <typename Call> void post(Call call)
    {
        QMetaObject::invokeMethod(context_, std::move(call), Qt::QueuedConnection);
    }

    static void browserEvent(AvahiServiceBrowser *, AvahiIfIndex interface, AvahiProtocol protocol,
                             AvahiBrowserEvent event, const char *name, const char *, const char *domain,
                             AvahiLookupResultFlags, void *userdata)
    {
        auto *self = static_cast<AvahiBrowsing *>(userdata);
        if (event == AVAHI_BROWSER_FAILURE) {
            logLine(QStringLiteral("Bonjour"),
                    QStringLiteral("browsing stopped: %1")
                        .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(self->connection_->client())))));
            return;
        }
        if ((event != AVAHI_BROWSER_NEW && event != AVAHI_BROWSER_REMOVE) || name == nullptr || domain == nullptr)
            return;
        const std::string key(name);
        const QString text = QString::fromUtf8(name);
        std::set<Sighting> &where = self->sightings_[key];
        const Sighting sighting{interface, protocol, domain};
        ServiceBrowsingEvents *events = &self->events_;
        if (event == AVAHI_BROWSER_NEW) {
            const bool first = where.empty();
            where.insert(sighting);
            if (first)
                self->post([events, text] { events->serviceFound(text); });
            return;
        }
        where.erase(sighting);
        if (!where.empty())
            return;
        self->sightings_.erase(key);
        self->post([events, text] { events->serviceRemoved(text); });
    }

    static void resolverEvent(AvahiServiceResolver *resolver, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                              const char *name, const char *, const char *, const char *, const AvahiAddress *address,
                              uint16_t port, AvahiStringList *, AvahiLookupResultFlags, void *userdata)
    {
        auto *self = static_cast<AvahiBrowsing *>(userdata);
        for (auto entry = self->resolvers_.begin(); entry != self->resolvers_.end(); ++entry) {
            if (entry->second == resolver) {
                self->resolvers_.erase(entry);
                break;
            }
        }
        avahi_service_resolver_free(resolver);
        if (event != AVAHI_RESOLVER_FOUND || address == nullptr || name == nullptr)
            return;

        ServiceAddress resolved;
        resolved.port = port;
        if (address->proto == AVAHI_PROTO_INET) {
            resolved.family = AF_INET;
            resolved.address = QByteArray(reinterpret_cast<const char *>(&address->data.ipv4.address), 4);
        } else if (address->proto == AVAHI_PROTO_INET6) {
            resolved.family = AF_INET6;
            resolved.address = QByteArray(reinterpret_cast<const char *>(address->data.ipv6.address), 16);
        } else {
            return;
        }
        const QString text = QString::fromUtf8(name);
        ServiceBrowsingEvents *events = &self->events_;
        self->post([events, text, resolved] { events->serviceResolved(text, {resolved}); });
    }

    std::shared_ptr<AvahiConnection> connection_;
    const QByteArray type_;
    ServiceBrowsingEvents &events_;
    // Lives on the thread that made the browse; events are posted to it and are
    // dropped with it.
    QObject *context_ = new QObject;
    AvahiServiceBrowser *browser_ = nullptr;
    // The fields below are touched only under the connection's lock.
    std::map<std::string, std::set<Sighting>> sightings_;
    std::map<std::string, AvahiServiceResolver *> resolvers_;
};

// The browse handed out while avahi-daemon cannot be reached.
class NoBrowsing final : public ServiceBrowsing {
public:
    void resolve(const QString &, std::chrono::seconds) override {}
};

} // namespace

AvahiServiceDiscovery::AvahiServiceDiscovery() = default;
AvahiServiceDiscovery::~AvahiServiceDiscovery() = default;

std::shared_ptr<AvahiConnection> AvahiServiceDiscovery::connection()
{
    if (connection_ && !connection_->hasFailed())
        return connection_;
    connection_.reset();
    int error = 0;
    connection_ = AvahiConnection::open(error);
    if (connection_) {
        reportedUnavailable_ = false;
        return connection_;
    }
    if (!reportedUnavailable_) {
        reportedUnavailable_ = true;
        const QString reason = error == AVAHI_ERR_NO_DAEMON ? QStringLiteral("avahi-daemon is not running")
                                                            : QString::fromUtf8(avahi_strerror(error));
        logLine(QStringLiteral("Bonjour"),
                QStringLiteral("%1; wireless discovery is off until the network changes").arg(reason));
    }
    return nullptr;
}

std::unique_ptr<ServiceBrowsing> AvahiServiceDiscovery::browse(const QString &type, const QString &domain,
                                                               ServiceBrowsingEvents &events)
{
    std::shared_ptr<AvahiConnection> current = connection();
    if (!current)
        return std::make_unique<NoBrowsing>();
    return std::make_unique<AvahiBrowsing>(std::move(current), type, domain, events);
}

} // namespace lumarient
