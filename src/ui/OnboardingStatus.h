#pragma once

#include "model/ConnectedDevice.h"
#include "model/DeviceConfig.h"

#include <QList>
#include <QString>

namespace lumarient {

// The live line at the bottom of the onboarding window.
struct OnboardingStatus {
    enum class Kind { connected, pending, waiting };
    Kind kind = Kind::waiting;
    QString text;

    bool operator==(const OnboardingStatus &) const = default;
};

// "Connected: " and the display names of the ready phones' distinct models, in
// order of first appearance; else the request to tap Allow; else waiting.
OnboardingStatus onboardingStatus(const QList<ConnectedDevice> &devices, const QList<DeviceConfig> &configs);

} // namespace lumarient
