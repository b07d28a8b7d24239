#include "AdbCommand.h"

#include "AdbShellCommand.h"
#include "DeviceListing.h"
#include "PackageCommands.h"
#include "Text.h"
#include "WirelessTransports.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace phonesim {
namespace {

const char *const daemonStarting = "* daemon not running; starting now at tcp:5037\n"
                                   "* daemon started successfully\n";

bool forget(Words &endpoints, const std::string &endpoint)
{
    return std::erase(endpoints, endpoint) > 0;
}

// The transport a command for `serial` goes to, or the error adb prints.
std::optional<Transport> pickTransport(const SimState &state, const std::string &serial, Reply &error)
{
    const std::vector<Transport> all = transports(state);
    if (serial.empty()) {
        if (all.size() == 1)
            return all.front();
        error = {all.empty() ? "adb: no devices/emulators found\n" : "adb: more than one device/emulator\n", 1};
        return std::nullopt;
    }
    for (const Transport &transport : all) {
        if (transport.serial != serial)
            continue;
        if (transport.state == "unauthorized" || transport.state == "authorizing") {
            error = {"adb: device unauthorized.\n"
                     "This adb server's $ADB_VENDOR_KEYS is not set\n"
                     "Try 'adb kill-server' if that seems wrong.\n"
                     "Otherwise check for a confirmation dialog on your device.\n",
                     1};
            return std::nullopt;
        }
        if (transport.state != "device" || transport.phoneIndex < 0) {
            error = {"adb: device offline\n", 1};
            return std::nullopt;
        }
        return transport;
    }
    error = {"adb: device '" + serial + "' not found\n", 1};
    return std::nullopt;
}

Reply connect(SimState &state, const std::string &endpoint)
{
    if (std::find(state.wifiConnections.begin(), state.wifiConnections.end(), endpoint) != state.wifiConnections.end())
        return {"already connected to " + endpoint + "\n", 0};
    for (const SimPhone &phone : state.phones) {
        if (listensOn(phone, endpoint)) {
            state.wifiConnections.push_back(endpoint);
            return {"connected to " + endpoint + "\n", 0};
        }
    }
    return {"failed to connect to '" + endpoint + "': Connection refused\n", 0};
}

Reply disconnect(SimState &state, const Words &words)
{
    if (words.size() < 2) {
        state.wifiConnections.clear();
        for (SimPhone &phone : state.phones)
            phone.mdnsSerial.clear();
        return {"disconnected everything\n", 0};
    }
    if (forget(state.wifiConnections, words[1]))
        return {"disconnected " + words[1] + "\n", 0};
    for (SimPhone &phone : state.phones) {
        if (!phone.mdnsSerial.empty() && phone.mdnsSerial == words[1]) {
            phone.mdnsSerial.clear();
            return {"disconnected " + words[1] + "\n", 0};
        }
    }
    return {"error: no such device '" + words[1] + "'\n", 1};
}

Reply pair(SimState &state, const Words &words)
{
    if (words.size() < 3)
        return {"adb: usage: adb pair HOST[:PORT] [PAIRING CODE]\n", 1};
    const auto code = state.pairingCodes.find(words[1]);
    if (code == state.pairingCodes.end())
        return {"Failed: Unable to start pairing client.\n", 1};
    if (code->second != words[2])
        return {"Failed: Wrong password or connection was dropped.\n", 1};
    rememberPairing(state, words[1]);
    const std::size_t guid = std::hash<std::string>()(words[1]) & 0xffffff;
    return {"Successfully paired to " + words[1] + " [guid=adb-" + std::to_string(guid) + "]\n", 0};
}

Reply tcpip(SimState &state, SimPhone &phone, const Words &words)
{
    const std::optional<int> port = words.size() > 1 ? parseInt(words[1]) : std::nullopt;
    if (!port || *port < 1 || *port > 65535)
        return {"adb: invalid port '" + (words.size() > 1 ? words[1] : "") + "'\n", 1};
    // adbd restarts: the server's network connections to it are gone.
    dropWirelessConnections(state, phone);
    phone.tcpipPort = *port;
    return {"restarting in TCP mode port: " + std::to_string(*port) + "\n", 0};
}

Reply onPhone(SimState &state, const AdbCommandLine &line)
{
    Reply error;
    const std::optional<Transport> transport = pickTransport(state, line.serial, error);
    if (!transport)
        return error;
    SimPhone &phone = state.phones[std::size_t(transport->phoneIndex)];
    const std::string &command = line.words[0];
    if (command == "shell")
        return runPhoneShell(phone, join(line.words, 1));
    if (command == "tcpip")
        return tcpip(state, phone, line.words);
    if (command == "install")
        return install(phone, line.words);
    if (command == "reverse")
        return reverse(phone, transport->serial, line.words);
    if (command == "push")
        return push(phone, line.words);
    if (command == "get-state")
        return {"device\n", 0};
    return {"adb: unknown command " + command + "\n", 1};
}

} // namespace

AdbCommandLine splitAdbCommandLine(const Words &arguments)
{
    AdbCommandLine line;
    std::size_t index = 0;
    while (index < arguments.size()) {
        const std::string &word = arguments[index];
        if (word == "-s" && index + 1 < arguments.size()) {
            line.serial = arguments[index + 1];
            index += 2;
        } else if (word == "-d" || word == "-e") {
            ++index;
        } else {
            break;
        }
    }
    line.words.assign(arguments.begin() + long(index), arguments.end());
    return line;
}

Reply runAdb(SimState &state, const Words &arguments)
{
    const AdbCommandLine line = splitAdbCommandLine(arguments);
    if (line.words.empty())
        return {"adb: no command given\n", 1};
    const std::string &command = line.words[0];

    if (command == "kill-server") {
        // The server forgets its network connections when it goes.
        state.serverRunning = false;
        state.wifiConnections.clear();
        return {"", 0};
    }

    std::string preamble;
    if (!state.serverRunning) {
        state.serverRunning = true;
        preamble = daemonStarting;
    }

    Reply reply;
    if (command == "start-server")
        reply = {"", 0};
    else if (command == "devices")
        reply = {deviceListing(state, std::find(line.words.begin(), line.words.end(), "-l") != line.words.end()), 0};
    else if (command == "connect")
        reply =
            line.words.size() == 2 ? connect(state, line.words[1]) : Reply{"adb: usage: adb connect HOST[:PORT]\n", 1};
    else if (command == "disconnect")
        reply = disconnect(state, line.words);
    else if (command == "pair")
        reply = pair(state, line.words);
    else
        reply = onPhone(state, line);
    reply.output.insert(0, preamble);
    return reply;
}

} // namespace phonesim
