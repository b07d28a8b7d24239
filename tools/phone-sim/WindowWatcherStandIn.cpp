#include "WindowWatcherStandIn.h"

#include "DeviceListing.h"
#include "Output.h"

#include <csignal>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace phonesim {
namespace {

// The phone's script while adb still reaches the phone; none once it is gone.
std::optional<SimWindowWatcherScript> reachableScript(const SimStore &store, const std::string &usbSerial)
{
    if (const std::optional<SimPhone> phone = reachablePhone(store.read(), usbSerial))
        return phone->windowWatcher;
    return std::nullopt;
}

void obeyLine(const SimStore &store, const std::string &usbSerial, const std::string &line,
              const SimWindowWatcherScript &script)
{
    store.appendWatcherInput(line);
    if (line != "watch 0" || script.freeformWhileWatching.empty())
        return;
    store.update([&](SimState &state) {
        for (SimPhone &phone : state.phones) {
            if (phone.usbSerial == usbSerial)
                phone.settings["global.enable_freeform_support"] = script.freeformWhileWatching;
        }
    });
}

} // namespace

int runWindowWatcher(const SimStore &store, const std::string &usbSerial)
{
    catchTermination();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);

    const std::optional<SimWindowWatcherScript> script = reachableScript(store, usbSerial);
    if (!script)
        return 1;
    std::size_t printed = store.watcherOutputSize();
    print(script->startOutput);
    if (script->exitAfterStart)
        return 0;

    std::string line;
    int linesRead = 0;
    for (int ticks = 0;; ++ticks) {
        // Lines written before it was told to end were on their way: they are still read.
        const bool ending = terminationRequested();
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int readable = ::poll(&input, 1, ending ? 0 : 20);
        if (readable <= 0 && ending)
            return 0;
        if (readable > 0) {
            char bytes[512];
            const ssize_t got = ::read(STDIN_FILENO, bytes, sizeof bytes);
            if (got <= 0)
                return 0;
            for (ssize_t i = 0; i < got; ++i) {
                if (bytes[i] != '\n') {
                    line += bytes[i];
                    continue;
                }
                obeyLine(store, usbSerial, line, *script);
                line.clear();
                if (++linesRead == script->exitAfterLines)
                    return 0;
            }
        }
        const std::string output = store.watcherOutputFrom(printed);
        printed += output.size();
        print(output);
        // Now and then look at the phone: `adb shell` ends when it goes away.
        if (ticks % 10 == 9 && !reachableScript(store, usbSerial)) {
            print("error: device offline\n");
            return 1;
        }
    }
}

} // namespace phonesim
