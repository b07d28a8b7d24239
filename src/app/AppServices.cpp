#include "app/AppServices.h"
#include "app/AppUpdater.h"
#include "app/EncoderModuleLocation.h"

#include "appwindows/AppWindowManager.h"
#include "appwindows/WindowDragWatcher.h"
#include "appwindows/WindowListCache.h"
#include "appwindows/WindowWatcherClient.h"
#include "devices/DeviceManager.h"
#include "devices/ScrcpySupervisor.h"
#include "display/SecondDisplayManager.h"
#include "display/SecondDisplayPhone.h"
#include "input/SeamlessInputManager.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Sleeper.h"
#include "platform/UserDefaults.h"
#include "platform/VideoEncoderModule.h"
#include "platform/avahi/AvahiServiceDiscovery.h"
#include "platform/dbus/DBusNotifier.h"
#include "platform/dbus/LogindSessionLockWatcher.h"
#include "platform/dbus/LogindWakeWatcher.h"
#include "platform/dbus/StatusNotifierHostWatcher.h"
#include "platform/netlink/NetlinkPathMonitor.h"
#include "platform/portal/PortalPointer.h"
#include "platform/portal/PortalVirtualMonitors.h"
#include "platform/qt/QtClipboard.h"
#include "platform/x11/X11DisplayLayout.h"
#include "platform/x11/X11InputTap.h"
#include "platform/x11/X11Pointer.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11VirtualMonitors.h"
#include "platform/x11/X11WindowList.h"
#include "tooling/ADB.h"
#include "tooling/Companion.h"
#include "tooling/Shell.h"
#include "tooling/ToolPaths.h"
#include "transfer/FileReceiver.h"
#include "wireless/WirelessConnector.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QStandardPaths>

namespace lumarient {

AppServices::AppServices(SessionType session)
{
    defaults_ = std::make_unique<UserDefaults>(UserDefaults::defaultFilePath());
    toolPaths_ = std::make_unique<ToolPaths>(*defaults_, ToolPaths::prefixOfRunningExecutable());
    adb_ = std::make_unique<ADB>(*toolPaths_, ThreadSleeper::instance());
    scrcpy_ = std::make_unique<ScrcpySupervisor>(*toolPaths_);

    monitors_ = std::make_unique<x11::X11VirtualMonitorFactory>(defaults_.get());
    // A crash leaves its virtual display behind; the next start removes it.
    if (const int removed = monitors_->removeLeftovers(); removed > 0) {
        logLine(QStringLiteral("Lumarient"),
                QStringLiteral("removed %1 virtual display(s) left by an earlier run").arg(removed));
    }
    captures_ = std::make_unique<x11::X11ScreenCaptureFactory>();
    displayLayout_ = std::make_unique<x11::X11DisplayLayout>();
    if (session == SessionType::wayland) {
        portalMonitors_ =
            std::make_unique<portal::PortalVirtualMonitorFactory>(QDBusConnection::sessionBus(), defaults_.get());
        portalCaptures_ = std::make_unique<portal::PortalScreenCaptureFactory>(*portalMonitors_);
        logLine(QStringLiteral("Lumarient"),
                QStringLiteral(
                    "Wayland session: keyboard and mouse sharing is off; phone app windows open through XWayland"));
    } else {
        inputTap_ = std::make_unique<x11::X11InputTap>();
        windowList_ = std::make_unique<x11::X11WindowList>();
        windowListCache_ = std::make_unique<WindowListCache>(*windowList_, SteadyClock::instance());
    }
    // Opened when a second display first starts: the encoder's libraries are most of the app's.
    encoders_ = std::make_unique<VideoEncoderModule>(
        videoEncoderModuleCandidates(QCoreApplication::applicationDirPath(), toolPaths_->installPrefix()));
    serviceDiscovery_ = std::make_unique<AvahiServiceDiscovery>();
    interfaces_ = std::make_unique<SystemInterfaceSource>();
    notifier_ = std::make_unique<DBusNotifier>();
    trayHost_ = std::make_unique<StatusNotifierHostWatcher>();
    clipboard_ = std::make_unique<QtClipboard>();
    wakeWatcher_ = std::make_unique<LogindWakeWatcher>();
    lockWatcher_ = std::make_unique<LogindSessionLockWatcher>();
    companion_ = std::make_unique<Companion>(*toolPaths_, *adb_);
    secondDisplayPhone_ = std::make_unique<AdbSecondDisplayPhone>(*adb_, *companion_);

    devices_ = std::make_unique<DeviceManager>(DeviceManager::Dependencies{
        *toolPaths_, *adb_, *defaults_, SteadyClock::instance(), ThreadSleeper::instance(), *scrcpy_});

    WirelessConnector::Dependencies wireless{*devices_, *adb_, *defaults_, SteadyClock::instance()};
    wireless.serviceDiscovery = serviceDiscovery_.get();
    wireless.makePathMonitor = [] { return std::make_unique<NetlinkPathMonitor>(); };
    wireless.interfaces = interfaces_.get();
    wireless_ = std::make_unique<WirelessConnector>(wireless);
    QObject::connect(wakeWatcher_.get(), &LogindWakeWatcher::didWake, wireless_.get(),
                     &WirelessConnector::systemDidWake, Qt::QueuedConnection);

    SecondDisplayManager::Platform display;
    display.monitors = monitors_.get();
    display.streaming.captures = captures_.get();
    display.streaming.encoders = encoders_.get();
    display.streaming.makePointer = [] { return std::make_unique<x11::X11Pointer>(); };
    if (portalMonitors_) {
        display.monitors = portalMonitors_.get();
        display.streaming.captures = portalCaptures_.get();
        display.streaming.makePointer = [monitors = portalMonitors_.get()] {
            return std::make_unique<portal::PortalPointer>(monitors->newestSession());
        };
    }
    secondDisplay_ = std::make_unique<SecondDisplayManager>(display, *secondDisplayPhone_);

    // On Wayland there is no keyboard tap or window list yet: the manager
    // then reports the feature as unavailable.
    SeamlessInputManager::Platform keyboardMouse;
    keyboardMouse.monitors = monitors_.get();
    keyboardMouse.layout = displayLayout_.get();
    keyboardMouse.scrcpy = scrcpy_.get();
    keyboardMouse.tap = inputTap_.get();
    keyboardMouse.windows = windowList_.get();
    keyboardMouse.sessionLock = lockWatcher_.get();
    appWindows_ = makeAppWindows();
    keyboardMouse.drags = appWindows_.get();
    keyboardMouse_ = std::make_unique<SeamlessInputManager>(
        keyboardMouse, SeamlessInputManager::Dependencies{*toolPaths_, *adb_, *defaults_});

    fileReceiver_ = std::make_unique<FileReceiver>(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation),
                                                   *notifier_, *clipboard_);
    updater_ = std::make_unique<AppUpdater>(*defaults_);
}

TrayHost &AppServices::trayHost()
{
    return *trayHost_;
}

SoftwareUpdater *AppServices::updater() const
{
    return updater_->updater();
}

AppServices::~AppServices()
{
    updater_.reset();
    fileReceiver_.reset();
    keyboardMouse_.reset();
    appWindows_.reset();
    secondDisplay_.reset();
    wireless_.reset();
    devices_.reset();
    secondDisplayPhone_.reset();
    companion_.reset();
    lockWatcher_.reset();
    wakeWatcher_.reset();
    clipboard_.reset();
    trayHost_.reset();
    notifier_.reset();
    interfaces_.reset();
    serviceDiscovery_.reset();
    encoders_.reset();
    windowListCache_.reset();
    windowList_.reset();
    inputTap_.reset();
    displayLayout_.reset();
    portalCaptures_.reset();
    portalMonitors_.reset();
    captures_.reset();
    monitors_.reset();
    scrcpy_.reset();
    adb_.reset();
    toolPaths_.reset();
    defaults_.reset();
}

std::unique_ptr<AppWindowManager> AppServices::makeAppWindows()
{
    AppWindowManager::Dependencies dependencies{*adb_, *scrcpy_, ThreadSleeper::instance(), SteadyClock::instance()};
    dependencies.makeWatcher = [this] {
        return std::make_unique<WindowWatcherClient>(WindowWatcherClient::Dependencies{*toolPaths_, *defaults_});
    };
    // Drops are seen in the window list; without one (Wayland) windows go back by closing.
    if (windowListCache_) {
        dependencies.dragWatcher = std::make_unique<WindowDragWatcher>(
            *windowListCache_, *displayLayout_, [this]() -> std::optional<std::uint32_t> {
                return keyboardMouse_ ? keyboardMouse_->standInDisplayID() : std::nullopt;
            });
    }
    dependencies.windows = windowList_.get();
    return std::make_unique<AppWindowManager>(std::move(dependencies));
}

void AppServices::start()
{
    fileReceiver_->start();
}

void AppServices::stop()
{
    logLine(QStringLiteral("Lumarient"), QStringLiteral("stopping"));
    // No adb command may hold up the quit; those that end sessions on the
    // phones get a moment.
    Shell::cancelAll(std::chrono::milliseconds(750));
    wireless_->stop();
    devices_->terminateAllSessions();
    appWindows_->stopAll();
    fileReceiver_->stop();
    // Their virtual displays must not outlive the app.
    keyboardMouse_->stopAll();
    secondDisplay_->stop();
    scrcpy_->terminateAll();
}

} // namespace lumarient
