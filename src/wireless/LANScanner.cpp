#include "wireless/LANScanner.h"

#include "platform/FileDescriptor.h"

#include "platform/NetworkInterfaces.h"

#include <QStringList>

#include <arpa/inet.h>
#include <cerrno>
#include <deque>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace lumarient {
namespace {

using Clock = std::chrono::steady_clock;

// How long one epoll wait may last before a stop request is noticed.
constexpr std::chrono::milliseconds stopCheckInterval(50);

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

// One epoll loop over non-blocking connects. A probe ends when the connect
// completes (open), fails (refused, unreachable: closed at once) or its deadline
// passes (closed).
class ProbeRun {
public:
    ProbeRun(const QList<LANScanner::Candidate> &candidates, int limit, std::chrono::milliseconds timeLimit)
        : candidates_(candidates), limit_(std::max(1, limit)), timeLimit_(timeLimit),
          sockets_(std::size_t(candidates.size()), -1)
    {
    }

    ~ProbeRun()
    {
        for (int fd : sockets_) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    QSet<LANScanner::Candidate> run(std::stop_token stop, LANScanner::ProbeReport &report)
    {
        report_ = &report;
        if (epoll_.get() < 0)
            return {};
        qsizetype next = 0;
        while (!stop.stop_requested()) {
            while (inFlight_ < limit_ && next < candidates_.size()) {
                const Start outcome = start(next);
                if (outcome == Start::noResources && inFlight_ > 0)
                    break;
                ++next;
                ++report.started;
                report.peakInFlight = std::max(report.peakInFlight, inFlight_);
            }
            if (inFlight_ == 0 && next >= candidates_.size())
                break;
            wait();
        }
        return open_;
    }

private:
    enum class Start { pending, finished, noResources };

    Start start(qsizetype index)
    {
        const std::optional<sockaddr_in> address = socketAddress(candidates_[index]);
        if (!address)
            return Start::finished;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            const bool exhausted = errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
            return exhausted ? Start::noResources : Start::finished;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&*address), sizeof *address) == 0) {
            ::close(fd);
            open_.insert(candidates_[index]);
            return Start::finished;
        }
        if (errno != EINPROGRESS) {
            // Refused, unreachable, host down: an answer without waiting.
            ::close(fd);
            return Start::finished;
        }
        epoll_event event{};
        event.events = EPOLLOUT;
        event.data.u64 = static_cast<uint64_t>(index);
        if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event) != 0) {
            ::close(fd);
            return Start::finished;
        }
        sockets_[std::size_t(index)] = fd;
        deadlines_.push_back({Clock::now() + timeLimit_, index});
        ++inFlight_;
        return Start::pending;
    }

    void finish(qsizetype index, bool isOpen)
    {
        int &fd = sockets_[std::size_t(index)];
        epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
        fd = -1;
        --inFlight_;
        if (isOpen)
            open_.insert(candidates_[index]);
    }

    void expireDeadlines()
    {
        const Clock::time_point now = Clock::now();
        while (!deadlines_.empty() &&
               (sockets_[std::size_t(deadlines_.front().index)] < 0 || deadlines_.front().deadline <= now)) {
            const qsizetype index = deadlines_.front().index;
            deadlines_.pop_front();
            if (sockets_[std::size_t(index)] >= 0) {
                finish(index, false);
                ++report_->timedOut;
            }
        }
    }

    void wait()
    {
        expireDeadlines();
        if (inFlight_ == 0)
            return;
        auto timeout = std::chrono::ceil<std::chrono::milliseconds>(deadlines_.front().deadline - Clock::now());
        timeout = std::clamp(timeout, std::chrono::milliseconds(0), stopCheckInterval);
        epoll_event events[64];
        const int count = epoll_wait(epoll_.get(), events, 64, int(timeout.count()));
        for (int i = 0; i < count; ++i) {
            const auto index = static_cast<qsizetype>(events[i].data.u64);
            const int fd = sockets_[std::size_t(index)];
            if (fd < 0)
                continue;
            int error = 0;
            socklen_t size = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                error = errno;
            finish(index, error == 0 && (events[i].events & EPOLLERR) == 0);
        }
        expireDeadlines();
    }

    struct Deadline {
        Clock::time_point deadline;
        qsizetype index;
    };

    const QList<LANScanner::Candidate> &candidates_;
    const int limit_;
    const std::chrono::milliseconds timeLimit_;
    FileDescriptor epoll_{epoll_create1(EPOLL_CLOEXEC)};
    std::vector<int> sockets_;
    // Every probe has the same time limit, so start order is deadline order.
    std::deque<Deadline> deadlines_;
    int inFlight_ = 0;
    LANScanner::ProbeReport *report_ = nullptr;
    QSet<LANScanner::Candidate> open_;
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
