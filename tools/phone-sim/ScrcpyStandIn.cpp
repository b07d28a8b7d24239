#include "ScrcpyStandIn.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace phonesim {
namespace {

volatile std::sig_atomic_t terminated = 0;

void onTerminate(int)
{
    terminated = 1;
}

} // namespace

int runScrcpy(const SimStore &store, const Words &)
{
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    const SimScrcpyScript script = store.read().scrcpy;
    std::fwrite(script.output.data(), 1, script.output.size(), stdout);
    std::fflush(stdout);

    // Sleep in small steps so a terminate request ends the window promptly.
    for (int elapsedMs = 0; !terminated; elapsedMs += 10) {
        if (script.exitAfterMs >= 0 && elapsedMs >= script.exitAfterMs)
            return script.exitCode;
        ::usleep(10000);
    }
    return 0;
}

} // namespace phonesim
