// Wall time of a full /24 sweep over loopback: once where every connection is
// refused, once where two ports listen. Only 127.0.0.x is ever contacted.
#include "platform/NetworkInterfaces.h"
#include "wireless/LANScanner.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace lumarient;

namespace {

class LoopbackAsEthernet final : public InterfaceSource {
public:
    QList<InterfaceAddress> interfaces() const override
    {
        sockaddr_storage storage{};
        auto *inet = reinterpret_cast<sockaddr_in *>(&storage);
        inet->sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.1", &inet->sin_addr);
        return {{QStringLiteral("eth0"), IFF_UP | IFF_RUNNING, storage}};
    }
};

int listenOn(const char *host, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, host, &address.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 128) != 0) {
        std::perror("listen");
        return -1;
    }
    return fd;
}

// A listener whose accept queue is full and never drained: further connection
// attempts get no answer at all, as on a network where nothing answers.
int silentListener(const char *host, std::vector<int> &fillers)
{
    const int fd = listenOn(host, 0);
    fillers.push_back(fd);
    ::listen(fd, 0);
    sockaddr_in local{};
    socklen_t size = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &size);
    for (int i = 0; i < 4; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        fillers.push_back(filler);
        ::connect(filler, reinterpret_cast<sockaddr *>(&local), sizeof local);
        pollfd waiting{filler, POLLOUT, 0};
        if (::poll(&waiting, 1, 300) == 0)
            break;
    }
    return ntohs(local.sin_port);
}

void measure(const char *label, const LANScanner &scanner, int runs)
{
    std::vector<double> seconds;
    qsizetype found = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        found = scanner.sweepLocalSubnet({}, {}).size();
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%-34s %5d probes  median %.3f s  (min %.3f, max %.3f, %d runs)  open: %lld\n", label,
                int(253 * LANScanner::commonPorts().size()), seconds[seconds.size() / 2], seconds.front(),
                seconds.back(), runs, static_cast<long long>(found));
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    LoopbackAsEthernet interfaces;
    LANScanner scanner(interfaces);

    measure("127.0.0.0/24, every port refused", scanner, runs);

    const int first = listenOn("127.0.0.57", 5555);
    const int second = listenOn("127.0.0.200", 5585);
    measure("127.0.0.0/24, two ports listening", scanner, runs);
    ::close(first);
    ::close(second);

    // The time limit at work: 1,024 silent probes are two rounds of 512.
    std::vector<int> fillers;
    const int port = silentListener("127.0.1.9", fillers);
    const QList<LANScanner::Candidate> silent(1024, LANScanner::Candidate{QStringLiteral("127.0.1.9"), port});
    std::vector<double> seconds;
    for (int run = 0; run < std::min(runs, 3); ++run) {
        LANScanner::ProbeReport report;
        const auto start = std::chrono::steady_clock::now();
        scanner.probe(silent, {}, &report);
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (run == 0)
            std::printf("%-34s %5d probes  peak in flight %d, timed out %d\n", "silent listener, 1 s limit",
                        report.started, report.peakInFlight, report.timedOut);
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%-34s %5d probes  median %.3f s  (%zu runs)\n", "silent listener, 1 s limit", int(silent.size()),
                seconds[seconds.size() / 2], seconds.size());
    for (int filler : fillers)
        ::close(filler);
    return 0;
}
