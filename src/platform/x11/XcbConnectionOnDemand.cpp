#include "platform/x11/XcbConnectionOnDemand.h"

namespace lumarient::x11 {

XcbConnectionOnDemand::XcbConnectionOnDemand(const char *displayName, std::function<void(XcbConnection &)> connected)
    : displayName_(displayName), hasDisplayName_(displayName != nullptr), connected_(std::move(connected))
{
}

XcbConnectionOnDemand::~XcbConnectionOnDemand() = default;

XcbConnection &XcbConnectionOnDemand::connect() const
{
    if (!connection_) {
        connection_ = std::make_unique<XcbConnection>(hasDisplayName_ ? displayName_.constData() : nullptr);
        if (connected_)
            connected_(*connection_);
    }
    return *connection_;
}

} // namespace lumarient::x11
