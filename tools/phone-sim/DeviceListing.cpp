#include "DeviceListing.h"

#include "Text.h"
#include "WirelessTransports.h"

namespace phonesim {

std::string wifiEndpoint(const SimPhone &phone)
{
    if (phone.tcpipPort <= 0 || phone.wlanAddress.empty())
        return "";
    return phone.wlanAddress + ':' + std::to_string(phone.tcpipPort);
}

std::vector<Transport> transports(const SimState &state)
{
    std::vector<Transport> list;
    for (std::size_t index = 0; index < state.phones.size(); ++index) {
        const SimPhone &phone = state.phones[index];
        if (phone.usbAttached && !phone.usbSerial.empty())
            list.push_back({phone.usbSerial, int(index), false, phone.state});
    }
    for (const std::string &endpoint : state.wifiConnections) {
        Transport transport{endpoint, -1, true, "offline"};
        for (std::size_t index = 0; index < state.phones.size(); ++index) {
            if (listensOn(state.phones[index], endpoint)) {
                transport.phoneIndex = int(index);
                transport.state = "device";
                break;
            }
        }
        list.push_back(transport);
    }
    for (std::size_t index = 0; index < state.phones.size(); ++index) {
        if (!state.phones[index].mdnsSerial.empty())
            list.push_back({state.phones[index].mdnsSerial, int(index), true, "device"});
    }
    return list;
}

std::optional<SimPhone> reachablePhone(const SimState &state, const std::string &usbSerial)
{
    for (const Transport &transport : transports(state)) {
        if (transport.phoneIndex < 0 || transport.state != "device")
            continue;
        const SimPhone &phone = state.phones[std::size_t(transport.phoneIndex)];
        if (phone.usbSerial == usbSerial)
            return phone;
    }
    return std::nullopt;
}

std::string deviceListing(const SimState &state, bool longForm)
{
    std::string text = "List of devices attached\n";
    int transportId = 1;
    for (const Transport &transport : transports(state)) {
        if (!longForm) {
            text += transport.serial + '\t' + transport.state + '\n';
            continue;
        }
        std::string line = padRight(transport.serial, 22) + ' ' + transport.state;
        if (!transport.isWifi)
            line += " usb:1-" + std::to_string(transportId);
        if (transport.phoneIndex >= 0 && transport.state == "device") {
            const SimPhone &phone = state.phones[std::size_t(transport.phoneIndex)];
            line += " product:" + phone.product;
            if (!phone.model.empty())
                line += " model:" + phone.model;
            line += " device:" + phone.device;
        }
        line += " transport_id:" + std::to_string(transportId++);
        text += line + '\n';
    }
    return text + '\n';
}

} // namespace phonesim
