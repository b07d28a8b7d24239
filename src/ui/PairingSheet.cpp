#include "ui/PairingSheet.h"

#include "devices/DeviceManager.h"
#include "wireless/QRCode.h"
#include "wireless/QRPairing.h"
#include "wireless/WirelessConnector.h"

#include <algorithm>

namespace lumarient {
namespace {

QStringList serialsOf(const QList<ConnectedDevice> &devices)
{
    QStringList serials;
    for (const ConnectedDevice &device : devices)
        serials.append(device.serial);
    return serials;
}

} // namespace

PairingSheet::PairingSheet(DeviceManager &manager, WirelessConnector &wireless, QObject *parent)
    : QObject(parent), manager_(manager), wireless_(wireless), readySerials_(serialsOf(manager.readyDevices()))
{
    connect(&manager_, &DeviceManager::devicesChanged, this, &PairingSheet::readyDevicesChanged);
    connect(&wireless_, &WirelessConnector::pairingCandidatesChanged, this, &PairingSheet::changed);
}

void PairingSheet::shown()
{
    qrSession_ = wireless_.startQRPairing();
    qrImage_ = QRCode::image(QRPairing::payload(*qrSession_), qrScale);
    emit changed();
}

QList<DiscoveredService> PairingSheet::candidates() const
{
    return wireless_.pairingCandidates();
}

void PairingSheet::setSelectedID(const std::optional<QString> &id)
{
    selectedID_ = id;
    emit changed();
}

void PairingSheet::setCode(const QString &code)
{
    code_ = code;
    emit changed();
}

bool PairingSheet::canPair() const
{
    return selectedID_.has_value() && !code_.isEmpty() && !isPairing_;
}

void PairingSheet::pair()
{
    if (!selectedID_ || isPairing_)
        return;
    const QList<DiscoveredService> services = wireless_.pairingCandidates();
    const auto service = std::find_if(services.cbegin(), services.cend(),
                                      [&](const DiscoveredService &candidate) { return candidate.id == *selectedID_; });
    if (service == services.cend())
        return;
    isPairing_ = true;
    errorText_.reset();
    emit changed();
    wireless_.pairAndConnect(*service, code_, this, [this](const std::optional<QString> &failure) {
        isPairing_ = false;
        if (failure) {
            errorText_ = *failure;
            emit changed();
            return;
        }
        close();
    });
}

void PairingSheet::cancel()
{
    close();
}

void PairingSheet::readyDevicesChanged()
{
    const QStringList ready = serialsOf(manager_.readyDevices());
    if (ready == readySerials_)
        return;
    readySerials_ = ready;
    if (!ready.isEmpty())
        close();
}

void PairingSheet::close()
{
    const bool wasPresented = isPresented_;
    isPresented_ = false;
    emit changed();
    if (wasPresented)
        emit closeRequested();
}

} // namespace lumarient
