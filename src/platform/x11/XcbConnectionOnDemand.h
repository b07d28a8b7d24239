#pragma once

#include "platform/x11/XcbConnection.h"

#include <QByteArray>

#include <functional>
#include <memory>

namespace lumarient::x11 {

// An X connection made at its first use, for backends the app makes at start
// but whose features (keyboard and mouse sharing, phone app windows) may never
// run: until then they cost no connection, no round trips and no memory in the
// server. `connected` runs once, right after the connection is made (valid or
// not), to set up what the backend needs on it. Used from one thread.
class XcbConnectionOnDemand {
public:
    explicit XcbConnectionOnDemand(const char *displayName, std::function<void(XcbConnection &)> connected = {});
    ~XcbConnectionOnDemand();
    XcbConnectionOnDemand(const XcbConnectionOnDemand &) = delete;
    XcbConnectionOnDemand &operator=(const XcbConnectionOnDemand &) = delete;

    // Whether the connection has been made yet (it may still be invalid).
    bool isMade() const { return connection_ != nullptr; }
    // The connection, made now if it was not yet.
    XcbConnection &connect() const;
    XcbConnection &operator*() const { return connect(); }
    XcbConnection *operator->() const { return &connect(); }

private:
    QByteArray displayName_;
    bool hasDisplayName_;
    std::function<void(XcbConnection &)> connected_;
    mutable std::unique_ptr<XcbConnection> connection_;
};

} // namespace lumarient::x11
