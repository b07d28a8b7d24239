#include "WirelessTransports.h"

#include <algorithm>

namespace phonesim {

Words wirelessEndpoints(const SimPhone &phone)
{
    Words endpoints;
    if (phone.wlanAddress.empty())
        return endpoints;
    if (phone.tcpipPort > 0)
        endpoints.push_back(phone.wlanAddress + ':' + std::to_string(phone.tcpipPort));
    if (phone.wirelessDebuggingPort > 0 && phone.wirelessDebuggingPaired)
        endpoints.push_back(phone.wlanAddress + ':' + std::to_string(phone.wirelessDebuggingPort));
    return endpoints;
}

bool listensOn(const SimPhone &phone, const std::string &endpoint)
{
    const Words endpoints = wirelessEndpoints(phone);
    return !endpoint.empty() && std::find(endpoints.begin(), endpoints.end(), endpoint) != endpoints.end();
}

void rememberPairing(SimState &state, const std::string &endpoint)
{
    const std::string host = endpoint.substr(0, endpoint.rfind(':'));
    for (SimPhone &phone : state.phones) {
        if (!phone.wlanAddress.empty() && phone.wlanAddress == host)
            phone.wirelessDebuggingPaired = true;
    }
}

void dropWirelessConnections(SimState &state, SimPhone &phone)
{
    for (const std::string &endpoint : wirelessEndpoints(phone))
        std::erase(state.wifiConnections, endpoint);
    phone.mdnsSerial.clear();
}

} // namespace phonesim
