#include "api/BusName.h"

#include "api/BusNames.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace lumarient {

BusClaim claimBusName(QDBusConnection bus)
{
    if (!bus.isConnected() || !bus.interface())
        return BusClaim::unavailable;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        bus::serviceName(), QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return BusClaim::owned;
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceNotRegistered)
        return BusClaim::unavailable;
    // Whatever the owner answers, it is the app the user meant: this launch ends.
    bus.call(QDBusMessage::createMethodCall(bus::serviceName(), bus::objectPath(), bus::interfaceName(),
                                            QStringLiteral("ShowWindow")),
             QDBus::Block, 5000);
    return BusClaim::handedOver;
}

} // namespace lumarient
