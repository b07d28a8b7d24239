#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <chrono>
#include <optional>
#include <stop_token>

namespace lumarient {

class InterfaceSource;

// Finds phones whose adb daemon accepts TCP connections on the local network when
// Bonjour has not announced them. It only checks whether a connection opens;
// connecting adb is the caller's business. Holds no state between calls.
//
// The operations block the calling thread while they probe, so callers run them
// in background work. The probes of a call share one worker loop ("lum-lanscan").
class LANScanner {
public:
    struct Candidate {
        // Dotted IPv4 address.
        QString host;
        int port = 0;

        bool operator==(const Candidate &) const = default;
    };

    // What a probe run did, for tests and benchmarks.
    struct ProbeReport {
        int started = 0;
        int peakInFlight = 0;
        // Probes that got no answer within the time limit.
        int timedOut = 0;
    };

    static constexpr int maximumInFlight = 512;
    static constexpr std::chrono::milliseconds probeTimeLimit = std::chrono::seconds(1);

    explicit LANScanner(const InterfaceSource &interfaces, int inFlightLimit = maximumInFlight,
                        std::chrono::milliseconds timeLimit = probeTimeLimit);

    // The 31 common adb ports, 5555 to 5585.
    static const QList<int> &commonPorts();

    // The candidates that accepted a connection, in input order (a candidate
    // listed twice and open is returned twice).
    QList<Candidate> probeKnown(const QList<Candidate> &candidates, std::stop_token stop = {}) const;
    // The open candidates of the local /24, hosts ascending then ports ascending.
    QList<Candidate> sweepLocalSubnet(const QList<int> &extraPorts, const QSet<QString> &skipHosts,
                                      std::stop_token stop = {}) const;

    // The IPv4 address of the first wired or wireless interface, else of the first
    // other usable interface; never loopback or link-local.
    std::optional<QString> localIPv4Address() const;
    // The first three parts of a dotted address with exactly four parts.
    static std::optional<QString> subnetPrefix(const QString &address);
    // The hosts and ports a sweep probes, in sweep order.
    static QList<Candidate> sweepCandidates(const QString &ownAddress, const QList<int> &extraPorts,
                                            const QSet<QString> &skipHosts);

    // Probes every candidate, at most the in-flight limit at once, each for at
    // most the time limit. Ports outside 1 to 65535 and hosts that are not dotted
    // IPv4 addresses are never probed. Stops early (reporting what it found so
    // far) when `stop` is requested.
    QSet<Candidate> probe(const QList<Candidate> &candidates, std::stop_token stop = {},
                          ProbeReport *report = nullptr) const;
    bool isOpen(const Candidate &candidate) const;

private:
    const InterfaceSource &interfaces_;
    int inFlightLimit_;
    std::chrono::milliseconds timeLimit_;
};

inline size_t qHash(const LANScanner::Candidate &candidate, size_t seed = 0)
{
    return qHashMulti(seed, candidate.host, candidate.port);
}

} // namespace lumarient
