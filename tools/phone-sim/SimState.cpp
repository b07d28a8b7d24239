#include "SimState.h"

#include <nlohmann/json.hpp>

namespace phonesim {

using nlohmann::json;

// Missing keys keep their defaults, so hand-written state files may be short.
#define PHONESIM_JSON(Type, ...) NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Type, __VA_ARGS__)

PHONESIM_JSON(SimDisplay, id, uniqueId, width, height, density, windowingMode)
PHONESIM_JSON(SimPhone, usbSerial, model, product, device, state, usbAttached, props, settings, deviceConfig,
              wlanAddress, tcpipPort, screenWidth, screenHeight, screenDensity, displayInfoInDump,
              overlayAppearsAfterPolls, overlayPollsLeft, displays, nextDisplayId, packages, grantedPermissions,
              reversedPorts, companionSession, displayReceiver)
PHONESIM_JSON(SimRule, tool, serial, commandPrefix, output, exitCode, times, sleepMs)
PHONESIM_JSON(SimScrcpyScript, output, exitAfterMs, exitCode, exitsWhenUnplugged)
PHONESIM_JSON(SimState, serverRunning, phones, wifiConnections, pairingCodes, rules, scrcpy)
PHONESIM_JSON(SimInvocation, tool, arguments, environment)

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

} // namespace phonesim
