#include "ui/OnboardingStatus.h"

#include "model/DeviceSelection.h"

namespace lumarient {

OnboardingStatus onboardingStatus(const QList<ConnectedDevice> &devices, const QList<DeviceConfig> &configs)
{
    QStringList models;
    QStringList names;
    for (const ConnectedDevice &device : readyDevices(devices)) {
        if (models.contains(device.model))
            continue;
        models.append(device.model);
        names.append(displayName(configs, device));
    }
    if (!names.isEmpty())
        return {OnboardingStatus::Kind::connected, QStringLiteral("Connected: ") + names.join(QStringLiteral(", "))};
    if (!pendingDevices(devices).isEmpty())
        return {OnboardingStatus::Kind::pending, QStringLiteral("Almost there — tap Allow on your phone")};
    return {OnboardingStatus::Kind::waiting, QStringLiteral("Waiting for a phone…")};
}

} // namespace lumarient
