// phone-sim: stands in for `adb`, its server (`phone-sim adb-server [PORT]`) and
// `scrcpy` (chosen by the name it runs under,
// or by its first argument) against simulated phones kept in the folder named by
// LUMARIENT_PHONESIM_DIR. Every run is appended to that folder's invocation log.

#include "AdbCommand.h"
#include "AdbServer.h"
#include "InputServerStandIn.h"
#include "Output.h"
#include "ScrcpyStandIn.h"
#include "SimStore.h"
#include "Text.h"
#include "WindowWatcherStandIn.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

using namespace phonesim;

namespace {

// The first rule that answers this command line, used up by one.
std::optional<SimRule> takeRule(SimState &state, const std::string &tool, const Words &arguments)
{
    const AdbCommandLine line = tool == "adb" ? splitAdbCommandLine(arguments) : AdbCommandLine{"", arguments};
    const std::string command = join(line.words);
    for (SimRule &rule : state.rules) {
        if (rule.tool != tool || rule.times == 0)
            continue;
        if (rule.serial != "*" && rule.serial != line.serial)
            continue;
        if (!startsWith(command, rule.commandPrefix))
            continue;
        const SimRule answer = rule;
        if (rule.times > 0)
            --rule.times;
        return answer;
    }
    return std::nullopt;
}

std::string baseName(const char *path)
{
    const std::string text = path;
    const std::size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

} // namespace

int main(int argc, char *argv[])
{
    Words arguments(argv + 1, argv + argc);
    std::string tool = baseName(argv[0]);
    if (tool != "adb" && tool != "scrcpy" && !arguments.empty()) {
        tool = arguments.front();
        arguments.erase(arguments.begin());
    }
    if (tool != "adb" && tool != "scrcpy" && tool != "adb-server") {
        std::fprintf(stderr, "phone-sim: run me as adb, scrcpy or adb-server\n");
        return 2;
    }
    const std::string folder = SimStore::folderFromEnvironment();
    if (folder.empty()) {
        std::fprintf(stderr, "phone-sim: LUMARIENT_PHONESIM_DIR is not set\n");
        return 2;
    }
    const SimStore store(folder);
    if (tool == "adb-server") {
        // The port as adb reads it: ANDROID_ADB_SERVER_PORT, else 5037.
        const char *port = std::getenv("ANDROID_ADB_SERVER_PORT");
        const std::optional<int> number = arguments.empty() ? parseInt(port ? port : "5037") : parseInt(arguments[0]);
        if (!number || *number < 1 || *number > 65535) {
            std::fprintf(stderr, "phone-sim: no valid adb server port\n");
            return 2;
        }
        return runAdbServer(store, *number);
    }

    SimInvocation invocation{tool, arguments, {}};
    for (const char *name : {"ADB", "SCRCPY_SERVER_PATH", "SDL_VIDEO_DRIVER"}) {
        if (const char *value = std::getenv(name))
            invocation.environment[name] = value;
    }
    store.appendInvocation(invocation);

    std::optional<SimRule> rule;
    Reply reply;
    store.update([&](SimState &state) {
        rule = takeRule(state, tool, arguments);
        if (!rule && tool == "adb")
            reply = runAdb(state, arguments);
    });
    if (rule) {
        std::this_thread::sleep_for(std::chrono::milliseconds(rule->sleepMs));
        print(rule->output);
        return rule->exitCode;
    }
    if (tool == "scrcpy")
        return runScrcpy(store, arguments);
    print(reply.output);
    if (reply.phoneProgram == "input-server")
        return runInputServer(store, reply.phoneSerial);
    if (reply.phoneProgram == "window-watcher")
        return runWindowWatcher(store, reply.phoneSerial);
    return reply.exitCode;
}
