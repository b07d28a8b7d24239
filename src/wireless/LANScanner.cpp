#include "wireless/LANScanner.h"

#include "platform/FileDescriptor.h"
#include "platform/NetworkInterfaces.h"
#include "platform/WorkerLoop.h"

#include <QStringList>

#include <arpa/inet.h>
#include <cerrno>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <future>
#include <vector>

namespace lumarient {
namespace {

bool isWiredOrWireless(const QString &interfaceName)
{
    return interfaceName.startsWith(QLatin1String("en")) || interfaceName.startsWith(QLatin1String("eth")) ||
           interfaceName.startsWith(QLatin1String("wl"));
}

bool isProbablePort(int port)
{
    return port >= 1 && port <= 65535;
}

std::optional<sockaddr_in> socketAddress(const LANScanner::Candidate &candidate)
{
    if (!isProbablePort(candidate.port) || candidate.host.contains(QChar(0)))
        return std::nullopt;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(candidate.port));
    if (inet_pton(AF_INET, candidate.host.toLatin1().constData(), &address.sin_addr) != 1)
        return std::nullopt;
    return address;
}

// Non-blocking connects on a worker loop of their own, while the caller waits.
// A probe ends when the connect completes (open), fails (refused, unreachable:
// closed at once) or its deadline passes (closed).
class ProbeRun {
public:
    ProbeRun(const QList<LANScanner::Candidate> &candidates, int limit, std::chrono::milliseconds timeLimit)
        : candidates_(candidates), limit_(std::max(1, limit)), timeLimit_(timeLimit),
          probes_(std::size_t(candidates.size()))
    {
    }

    QSet<LANScanner::Candidate> run(std::stop_token stop, LANScanner::ProbeReport &report)
    {
        report_ = &report;
        // A run stopped before it began starts no probe at all.
        if (stop.stop_requested())
            return {};
        // Starting probes before each wait fills the slots the last turn freed.
        loop_.setBeforeWait([this] { startMore(); });
        loop_.start();
        {
            const std::stop_callback onStop(stop, [this] { loop_.post([this] { finish(); }); });
            finished_.get_future().wait();
        }
        loop_.stop();
        return open_;
    }

private:
    enum class Start { pending, finished, noResources };

    struct Probe {
        FileDescriptor socket;
        WorkerLoop::WatchId watch = 0;
        WorkerLoop::TimerId deadline = 0;
    };

    void startMore()
    {
        while (!done_ && inFlight_ < limit_ && next_ < candidates_.size()) {
            const Start outcome = start(next_);
            if (outcome == Start::noResources && inFlight_ > 0)
                break;
            ++next_;
            ++report_->started;
            report_->peakInFlight = std::max(report_->peakInFlight, inFlight_);
        }
        if (inFlight_ == 0 && next_ >= candidates_.size())
            finish();
    }

    void finish()
    {
        if (!done_)
            finished_.set_value();
        done_ = true;
    }

    Start start(qsizetype index)
    {
        const std::optional<sockaddr_in> address = socketAddress(candidates_[index]);
        if (!address)
            return Start::finished;
        FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!socket.isValid()) {
            const bool exhausted = errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
            return exhausted ? Start::noResources : Start::finished;
        }
        const int on = 1;
        ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::connect(socket.get(), reinterpret_cast<const sockaddr *>(&*address), sizeof *address) == 0) {
            open_.insert(candidates_[index]);
            return Start::finished;
        }
        // Refused, unreachable, host down: an answer without waiting.
        if (errno != EINPROGRESS)
            return Start::finished;
        Probe &probe = probes_[std::size_t(index)];
        probe.watch =
            loop_.watch(socket.get(), WorkerLoop::writable, [this, index](unsigned ready) { connected(index, ready); });
        if (probe.watch == 0)
            return Start::finished;
        probe.socket = std::move(socket);
        probe.deadline = loop_.after(timeLimit_, [this, index] {
            end(index, false);
            ++report_->timedOut;
        });
        ++inFlight_;
        return Start::pending;
    }

    void connected(qsizetype index, unsigned ready)
    {
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(probes_[std::size_t(index)].socket.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            error = errno;
        end(index, error == 0 && (ready & WorkerLoop::failed) == 0);
    }

    void end(qsizetype index, bool isOpen)
    {
        Probe &probe = probes_[std::size_t(index)];
        loop_.remove(probe.watch);
        loop_.cancel(probe.deadline);
        probe = Probe{};
        --inFlight_;
        if (isOpen)
            open_.insert(candidates_[index]);
    }

    const QList<LANScanner::Candidate> &candidates_;
    const int limit_;
    const std::chrono::milliseconds timeLimit_;
    std::vector<Probe> probes_;
    qsizetype next_ = 0;
    int inFlight_ = 0;
    bool done_ = false;
    std::promise<void> finished_;
    LANScanner::ProbeReport *report_ = nullptr;
    QSet<LANScanner::Candidate> open_;
    // Last, so the loop has ended before the probes it watches go.
    WorkerLoop loop_{"lum-lanscan"};
};

QList<LANScanner::Candidate> inOrder(const QList<LANScanner::Candidate> &candidates,
                                     const QSet<LANScanner::Candidate> &open)
{
    QList<LANScanner::Candidate> found;
    for (const LANScanner::Candidate &candidate : candidates) {
        if (open.contains(candidate))
            found.append(candidate);
    }
    return found;
}

} // namespace

LANScanner::LANScanner(const InterfaceSource &interfaces, int inFlightLimit, std::chrono::milliseconds timeLimit)
    : interfaces_(interfaces), inFlightLimit_(inFlightLimit), timeLimit_(timeLimit)
{
}

const QList<int> &LANScanner::commonPorts()
{
    static const QList<int> ports = [] {
        QList<int> list;
        for (int port = 5555; port <= 5585; ++port)
            list.append(port);
        return list;
    }();
    return ports;
}

QList<LANScanner::Candidate> LANScanner::probeKnown(const QList<Candidate> &candidates, std::stop_token stop) const
{
    if (candidates.isEmpty())
        return {};
    return inOrder(candidates, probe(candidates, stop));
}

QList<LANScanner::Candidate> LANScanner::sweepLocalSubnet(const QList<int> &extraPorts, const QSet<QString> &skipHosts,
                                                          std::stop_token stop) const
{
    const std::optional<QString> ownAddress = localIPv4Address();
    if (!ownAddress || !subnetPrefix(*ownAddress))
        return {};
    const QList<Candidate> candidates = sweepCandidates(*ownAddress, extraPorts, skipHosts);
    return inOrder(candidates, probe(candidates, stop));
}

std::optional<QString> LANScanner::localIPv4Address() const
{
    std::optional<QString> fallback;
    for (const InterfaceAddress &entry : interfaces_.interfaces()) {
        if ((entry.flags & (IFF_UP | IFF_LOOPBACK)) != IFF_UP)
            continue;
        if (!entry.address || entry.address->ss_family != AF_INET)
            continue;
        char text[1025];
        if (getnameinfo(reinterpret_cast<const sockaddr *>(&*entry.address), sizeof(sockaddr_in), text, sizeof text,
                        nullptr, 0, NI_NUMERICHOST) != 0)
            continue;
        const QString address = QString::fromLatin1(text);
        if (address.startsWith(QLatin1String("169.254.")))
            continue;
        if (isWiredOrWireless(entry.name))
            return address;
        if (!fallback)
            fallback = address;
    }
    return fallback;
}

std::optional<QString> LANScanner::subnetPrefix(const QString &address)
{
    const QStringList parts = address.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return std::nullopt;
    return parts.mid(0, 3).join(QLatin1Char('.'));
}

QList<LANScanner::Candidate> LANScanner::sweepCandidates(const QString &ownAddress, const QList<int> &extraPorts,
                                                         const QSet<QString> &skipHosts)
{
    const std::optional<QString> prefix = subnetPrefix(ownAddress);
    if (!prefix)
        return {};
    QList<int> ports = commonPorts();
    for (int port : extraPorts) {
        if (isProbablePort(port))
            ports.append(port);
    }
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());

    QList<Candidate> candidates;
    candidates.reserve(253 * ports.size());
    for (int octet = 1; octet <= 254; ++octet) {
        const QString host = *prefix + QLatin1Char('.') + QString::number(octet);
        if (host == ownAddress || skipHosts.contains(host))
            continue;
        for (int port : ports)
            candidates.append({host, port});
    }
    return candidates;
}

QSet<LANScanner::Candidate> LANScanner::probe(const QList<Candidate> &candidates, std::stop_token stop,
                                              ProbeReport *report) const
{
    ProbeReport ignored;
    ProbeRun run(candidates, inFlightLimit_, timeLimit_);
    return run.run(stop, report != nullptr ? *report : ignored);
}

bool LANScanner::isOpen(const Candidate &candidate) const
{
    return probe({candidate}).contains(candidate);
}

} // namespace lumarient
