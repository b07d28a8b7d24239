#include "DeviceListing.h"

namespace phonesim {

QList<Transport> transports(const SimState &state)
{
    QList<Transport> list;
    for (int index = 0; index < state.phones.size(); ++index) {
        const SimPhone &phone = state.phones[index];
        if (phone.usbAttached && !phone.usbSerial.isEmpty())
            list.append({phone.usbSerial, index, false, phone.state});
    }
    for (const QString &endpoint : state.wifiConnections) {
        Transport transport{endpoint, -1, true, QStringLiteral("offline")};
        for (int index = 0; index < state.phones.size(); ++index) {
            const SimPhone &phone = state.phones[index];
            if (phone.tcpipPort > 0 && !phone.wlanAddress.isEmpty()
                && endpoint == phone.wlanAddress + ':' + QString::number(phone.tcpipPort)) {
                transport.phoneIndex = index;
                transport.state = QStringLiteral("device");
                break;
            }
        }
        list.append(transport);
    }
    return list;
}

QString deviceListing(const SimState &state, bool longForm)
{
    QString text = QStringLiteral("List of devices attached\n");
    int transportId = 1;
    for (const Transport &transport : transports(state)) {
        if (!longForm) {
            text += transport.serial + '\t' + transport.state + '\n';
            continue;
        }
        QString line = transport.serial.leftJustified(22) + ' ' + transport.state;
        if (!transport.isWifi)
            line += QStringLiteral(" usb:1-%1").arg(transportId);
        if (transport.phoneIndex >= 0 && transport.state == QLatin1String("device")) {
            const SimPhone &phone = state.phones[transport.phoneIndex];
            line += QStringLiteral(" product:") + phone.product;
            if (!phone.model.isEmpty())
                line += QStringLiteral(" model:") + phone.model;
            line += QStringLiteral(" device:") + phone.device;
        }
        line += QStringLiteral(" transport_id:") + QString::number(transportId++);
        text += line + '\n';
    }
    return text + '\n';
}

} // namespace phonesim
