#pragma once

#include <QString>

namespace lumarient {

class ADB;

// Probes a newly seen phone once, when its configuration is made, for what its
// Android offers to scrcpy's virtual displays.
namespace DeviceCapabilities {

struct Report {
    bool supportsVirtualDisplay = false;
    bool virtualDisplayHasWindowManagement = false;
    bool operator==(const Report &) const = default;
};

// Runs its three property queries in a fixed order; a failed query counts as
// the feature being absent.
Report detect(const ADB &adb, const QString &serial);

// The Android major version in a release property ("14", "15.0.1"), or 0 when
// it does not parse.
int majorVersion(const QString &release);

} // namespace DeviceCapabilities
} // namespace lumarient
