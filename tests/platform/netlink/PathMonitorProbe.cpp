// Prints every path the rtnetlink monitor reports, one line each, until killed.
// Run by path-namespace.sh inside a test's own network namespace.
#include "platform/netlink/NetlinkPathMonitor.h"
#include "wireless/PathSignature.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace lumarient;

int main()
{
    NetlinkPathMonitor monitor;
    monitor.start([](const NetworkPath &path) {
        std::printf("PATH %s\n", pathSignature(path).toUtf8().constData());
        std::fflush(stdout);
    });
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    int received = 0;
    sigwait(&stopSignals, &received);
    std::printf("STOPPED\n");
    return 0;
}
