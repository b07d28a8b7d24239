#pragma once

#include <memory>

namespace lumarient {

class PackageKitInstaller;
class SoftwareUpdater;
class UserDefaults;

// The software updater with the feed, key and version this build was made with,
// and PackageKit to install through. Builds without an updater have none.
class AppUpdater {
public:
    explicit AppUpdater(UserDefaults &defaults);
    ~AppUpdater();

    SoftwareUpdater *updater() const { return updater_.get(); }

private:
    std::unique_ptr<PackageKitInstaller> installer_;
    std::unique_ptr<SoftwareUpdater> updater_;
};

} // namespace lumarient
