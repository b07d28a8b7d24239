#include "InputServerStandIn.h"

#include "DeviceListing.h"
#include "Output.h"

#include <csignal>
#include <cstdio>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace phonesim {
namespace {

// The phone's script while adb still reaches the phone; none once it is gone.
std::optional<SimInputServerScript> reachableScript(const SimStore &store, const std::string &usbSerial)
{
    if (const std::optional<SimPhone> phone = reachablePhone(store.read(), usbSerial))
        return phone->inputServer;
    return std::nullopt;
}

} // namespace

int runInputServer(const SimStore &store, const std::string &usbSerial)
{
    catchTermination();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);

    const std::optional<SimInputServerScript> script = reachableScript(store, usbSerial);
    if (!script)
        return 1;
    print(script->startOutput);
    if (script->exitAfterRecords == 0)
        return 0;

    unsigned char record[8];
    std::size_t filled = 0;
    int count = 0;
    bool inputOpen = true;
    for (int idleTicks = 0; !terminationRequested();) {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = inputOpen ? ::poll(&input, 1, 100) : (::usleep(100000), 0);
        if (ready <= 0) {
            // Now and then look at the phone: `adb shell` ends when it goes away.
            if (++idleTicks % 3 == 0 && !reachableScript(store, usbSerial)) {
                print("error: device offline\n");
                return 1;
            }
            continue;
        }
        const ssize_t got = ::read(STDIN_FILENO, record + filled, sizeof record - filled);
        if (got <= 0)
            return 0;
        filled += std::size_t(got);
        if (filled < sizeof record)
            continue;
        filled = 0;
        SimInputRecord decoded = decodeInputRecord(record);
        decoded.serial = usbSerial;
        store.appendInputRecord(decoded);
        ++count;
        if (count == script->exitAfterRecords)
            return 0;
        if (count == script->closeInputAfterRecords) {
            ::close(STDIN_FILENO);
            inputOpen = false;
        }
    }
    return 0;
}

} // namespace phonesim
