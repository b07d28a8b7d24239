#pragma once

#include "platform/ServiceDiscovery.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <map>

namespace lumarient::test {

// Service discovery driven by the test: it announces, resolves and removes
// services by hand and sees every resolve request.
class FakeServiceDiscovery final : public ServiceDiscovery {
public:
    struct Browse;

    class Browsing final : public ServiceBrowsing {
    public:
        Browsing(FakeServiceDiscovery &owner, QString type, ServiceBrowsingEvents &events)
            : owner_(owner), type_(std::move(type)), events_(events)
        {
            owner_.running_[type_] = this;
        }
        ~Browsing() override
        {
            // A replacement may already be browsing the same type.
            const auto entry = owner_.running_.find(type_);
            if (entry != owner_.running_.end() && entry->second == this)
                owner_.running_.erase(entry);
        }
        void resolve(const QString &name, std::chrono::seconds timeout) override
        {
            owner_.resolveRequests.append({type_, name, timeout});
        }
        ServiceBrowsingEvents &events() { return events_; }

    private:
        FakeServiceDiscovery &owner_;
        QString type_;
        ServiceBrowsingEvents &events_;
    };

    struct ResolveRequest {
        QString type;
        QString name;
        std::chrono::seconds timeout;
        bool operator==(const ResolveRequest &) const = default;
    };

    std::unique_ptr<ServiceBrowsing> browse(const QString &type, const QString &domain,
                                            ServiceBrowsingEvents &events) override
    {
        browsedDomains.append(domain);
        return std::make_unique<Browsing>(*this, type, events);
    }

    bool isBrowsing(const QString &type) const { return running_.count(type) > 0; }
    ServiceBrowsingEvents &events(const QString &type) { return running_.at(type)->events(); }

    static ServiceAddress ipv4(const char *text, quint16 port)
    {
        QByteArray bytes(4, '\0');
        inet_pton(AF_INET, text, bytes.data());
        return {AF_INET, bytes, port};
    }
    static ServiceAddress ipv6(const char *text, quint16 port)
    {
        QByteArray bytes(16, '\0');
        inet_pton(AF_INET6, text, bytes.data());
        return {AF_INET6, bytes, port};
    }

    QList<ResolveRequest> resolveRequests;
    QStringList browsedDomains;

private:
    std::map<QString, Browsing *> running_;
};

} // namespace lumarient::test
