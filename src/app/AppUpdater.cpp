#include "app/AppUpdater.h"

#include "platform/dbus/PackageKitInstaller.h"
#include "updates/SoftwareUpdater.h"

#include <QDesktopServices>
#include <QStandardPaths>
#include <QUrl>

namespace lumarient {

AppUpdater::AppUpdater([[maybe_unused]] UserDefaults &defaults)
{
#if LUMARIENT_UPDATER
    installer_ = std::make_unique<PackageKitInstaller>();
    UpdateChecker::Settings settings{QUrl(QStringLiteral(LUMARIENT_UPDATE_FEED)), QStringLiteral(LUMARIENT_APP_VERSION),
                                     QByteArray::fromBase64(QByteArrayLiteral(LUMARIENT_UPDATE_PUBLIC_KEY)),
                                     QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                                         QStringLiteral("/lumarient/updates")};
    SoftwareUpdater::Platform platform;
    platform.installer = installer_.get();
    platform.showFolder = [](const QString &folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    updater_ = std::make_unique<SoftwareUpdater>(std::move(settings), defaults, std::move(platform));
#endif
}

AppUpdater::~AppUpdater()
{
    updater_.reset();
    installer_.reset();
}

} // namespace lumarient
