#include "SimState.h"

#include <nlohmann/json.hpp>

#include <cstdint>

namespace phonesim {

using nlohmann::json;

// Missing keys keep their defaults, so hand-written state files may be short.
#define PHONESIM_JSON(Type, ...) NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Type, __VA_ARGS__)

PHONESIM_JSON(SimDisplay, id, uniqueId, width, height, density, windowingMode)
PHONESIM_JSON(SimTask, id, package, displayId, mode, left, top, right, bottom)
PHONESIM_JSON(SimInputServerScript, startOutput, exitAfterRecords, closeInputAfterRecords)
PHONESIM_JSON(SimWindowWatcherScript, startOutput, exitAfterStart, exitAfterLines, freeformWhileWatching)
PHONESIM_JSON(SimPhone, usbSerial, model, product, device, state, usbAttached, props, settings, deviceConfig,
              wlanAddress, tcpipPort, wirelessDebuggingPort, wirelessDebuggingPaired, mdnsSerial, screenWidth,
              screenHeight, screenDensity, displayInfoInDump, overlayAppearsAfterPolls, overlayPollsLeft, displays,
              nextDisplayId, packages, grantedPermissions, reversedPorts, companionSession, displayReceiver,
              pushedFiles, inputServer, windowWatcher, tasks, nextTaskId, focusedTaskId)
PHONESIM_JSON(SimRule, tool, serial, commandPrefix, output, exitCode, times, sleepMs)
PHONESIM_JSON(SimScrcpyScript, output, exitAfterMs, exitCode, exitsWhenUnplugged, windowAfterMs)
PHONESIM_JSON(SimState, serverRunning, phones, wifiConnections, pairingCodes, rules, scrcpy)
PHONESIM_JSON(SimInvocation, tool, arguments, environment)
PHONESIM_JSON(SimInputRecord, serial, kind, buttons, dx, dy, wheel, pan, modifiers, keys, bytes)

SimInputRecord decodeInputRecord(const unsigned char (&record)[8])
{
    const auto signed16 = [&](int offset) {
        return int(std::int16_t(std::uint16_t(record[offset] << 8 | record[offset + 1])));
    };
    SimInputRecord decoded;
    if (record[0] == 'm') {
        decoded.kind = "mouse";
        decoded.buttons = record[1];
        decoded.dx = signed16(2);
        decoded.dy = signed16(4);
        decoded.wheel = std::int8_t(record[6]);
        decoded.pan = std::int8_t(record[7]);
    } else if (record[0] == 'k') {
        decoded.kind = "keyboard";
        decoded.modifiers = record[1];
        decoded.keys.assign(record + 2, record + 8);
    } else {
        decoded.kind = "unknown";
        decoded.bytes.assign(record, record + 8);
    }
    return decoded;
}

std::string toJson(const SimState &state)
{
    return json(state).dump();
}

SimState stateFromJson(const std::string &text)
{
    const json parsed = json::parse(text, nullptr, false);
    return parsed.is_object() ? parsed.get<SimState>() : SimState();
}

std::string toJson(const SimInvocation &invocation)
{
    return json(invocation).dump();
}

SimInvocation invocationFromJson(const std::string &text)
{
    const json parsed = json::parse(text, nullptr, false);
    return parsed.is_object() ? parsed.get<SimInvocation>() : SimInvocation();
}

std::string toJson(const SimInputRecord &record)
{
    return json(record).dump();
}

SimInputRecord inputRecordFromJson(const std::string &text)
{
    const json parsed = json::parse(text, nullptr, false);
    return parsed.is_object() ? parsed.get<SimInputRecord>() : SimInputRecord();
}

} // namespace phonesim
