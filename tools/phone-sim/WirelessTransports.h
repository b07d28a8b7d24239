#pragma once

#include "SimState.h"

namespace phonesim {

// The endpoints on which a phone's adbd accepts network connections: its
// `tcpip` port and, once paired, its wireless-debugging port, each on its Wi-Fi
// address.
Words wirelessEndpoints(const SimPhone &phone);
bool listensOn(const SimPhone &phone, const std::string &endpoint);

// A successful `adb pair` with `endpoint`: the phone on that address trusts
// this computer from now on.
void rememberPairing(SimState &state, const std::string &endpoint);

// adbd restarted (after `tcpip`): the server loses every network connection to
// the phone, its mDNS-named one included.
void dropWirelessConnections(SimState &state, SimPhone &phone);

} // namespace phonesim
