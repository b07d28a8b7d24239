#include "Output.h"

#include <csignal>
#include <cstdio>

namespace phonesim {
namespace {

volatile std::sig_atomic_t terminated = 0;

void onTerminate(int)
{
    terminated = 1;
}

} // namespace

void print(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void catchTermination()
{
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

bool terminationRequested()
{
    return terminated != 0;
}

} // namespace phonesim
