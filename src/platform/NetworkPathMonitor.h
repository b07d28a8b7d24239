#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace lumarient {

// The computer's network path as a whole: whether it can reach a network, and
// through which interfaces.
struct NetworkPath {
    enum class Status { satisfied, unsatisfied, requiresConnection };

    Status status = Status::unsatisfied;
    // Names of the usable interfaces, in the order the system lists them.
    QStringList interfaces;

    bool operator==(const NetworkPath &) const = default;
};

// Watches the network path. Updates arrive on the monitor's own thread, the
// first one soon after start; the receiver hops to its own thread itself.
class NetworkPathMonitor {
public:
    using OnUpdate = std::function<void(const NetworkPath &)>;

    virtual ~NetworkPathMonitor() = default;

    // Starts watching; a second start is ignored. Destroying the monitor stops it
    // and waits until no update is being delivered.
    virtual void start(OnUpdate onUpdate) = 0;
};

} // namespace lumarient
