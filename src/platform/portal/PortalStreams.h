#pragma once

#include <QVariant>

#include <cstdint>
#include <vector>

namespace lumarient::portal {

// One stream of a started screen cast: its PipeWire node and, where the portal
// says, its size.
struct PortalStream {
    std::uint32_t nodeID = 0;
    int width = 0;
    int height = 0;
};

// The "streams" result of Start (a(ua{sv})); entries that do not have that shape
// are left out, and anything else gives an empty list.
std::vector<PortalStream> parsePortalStreams(const QVariant &streams);

} // namespace lumarient::portal
