#pragma once

#include <QDBusConnection>

namespace lumarient {

// One running app per session: whoever owns the app's bus name is it.
enum class BusClaim {
    // This process now owns the name.
    owned,
    // Another instance owns it and has been asked to come forward.
    handedOver,
    // No session bus, or it refused the name: the app runs without one.
    unavailable,
};

BusClaim claimBusName(QDBusConnection bus);

} // namespace lumarient
