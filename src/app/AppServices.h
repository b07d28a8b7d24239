#pragma once

#include "platform/SessionType.h"

#include <memory>

namespace lumarient {

class ADB;
class AppUpdater;
class AdbSecondDisplayPhone;
class AppWindowManager;
class WindowListCache;
class AvahiServiceDiscovery;
class Companion;
class DBusNotifier;
class DeviceManager;
class FileReceiver;
class LogindSessionLockWatcher;
class LogindWakeWatcher;
class QtClipboard;
class ScrcpySupervisor;
class SeamlessInputManager;
class SoftwareUpdater;
class StatusNotifierHostWatcher;
class SecondDisplayManager;
class SystemInterfaceSource;
class ToolPaths;
class TrayHost;
class UserDefaults;
class VideoEncoderModule;
class WirelessConnector;
namespace portal {
class PortalScreenCaptureFactory;
class PortalVirtualMonitorFactory;
} // namespace portal
namespace x11 {
class X11DisplayLayout;
class X11InputTap;
class X11WindowList;
class X11ScreenCaptureFactory;
class X11VirtualMonitorFactory;
} // namespace x11

// Everything the app runs on, made once: each platform backend (the X11
// family, the encoder module, D-Bus, Avahi, netlink) and the managers they are handed to. The
// constructor makes them bottom up and the destructor ends them top down, so no
// manager outlives a backend it was given.
class AppServices {
public:
    // On a Wayland session nothing takes the keyboard and mouse through X11:
    // XWayland would grab only its own windows.
    explicit AppServices(SessionType session);
    ~AppServices();
    AppServices(const AppServices &) = delete;
    AppServices &operator=(const AppServices &) = delete;

    // Starts what listens or watches on its own: the file receiver.
    void start();
    // The app is about to quit, in this order: adb commands are cancelled after
    // a short grace, discovery stops, screen sessions end (their overlays
    // removed), the app windows close (no app is sent back), the receiver,
    // keyboard and mouse sharing and the second display stop, and every scrcpy
    // child is ended.
    void stop();

    UserDefaults &defaults() { return *defaults_; }
    DeviceManager &devices() { return *devices_; }
    WirelessConnector &wireless() { return *wireless_; }
    SecondDisplayManager &secondDisplay() { return *secondDisplay_; }
    SeamlessInputManager &keyboardMouse() { return *keyboardMouse_; }
    AppWindowManager &appWindows() { return *appWindows_; }
    FileReceiver &fileReceiver() { return *fileReceiver_; }
    TrayHost &trayHost();
    // None in builds that update through their distribution.
    SoftwareUpdater *updater() const;

private:
    // The app window manager with its phone window watcher and drop watcher.
    std::unique_ptr<AppWindowManager> makeAppWindows();

    std::unique_ptr<UserDefaults> defaults_;
    std::unique_ptr<ToolPaths> toolPaths_;
    std::unique_ptr<ADB> adb_;
    std::unique_ptr<ScrcpySupervisor> scrcpy_;

    std::unique_ptr<x11::X11VirtualMonitorFactory> monitors_;
    std::unique_ptr<x11::X11ScreenCaptureFactory> captures_;
    std::unique_ptr<x11::X11DisplayLayout> displayLayout_;
    // The second display on Wayland (portal screen cast); null on X11.
    std::unique_ptr<portal::PortalVirtualMonitorFactory> portalMonitors_;
    std::unique_ptr<portal::PortalScreenCaptureFactory> portalCaptures_;
    std::unique_ptr<x11::X11InputTap> inputTap_;
    std::unique_ptr<x11::X11WindowList> windowList_;
    std::unique_ptr<WindowListCache> windowListCache_;
    std::unique_ptr<VideoEncoderModule> encoders_;
    std::unique_ptr<AvahiServiceDiscovery> serviceDiscovery_;
    std::unique_ptr<SystemInterfaceSource> interfaces_;
    std::unique_ptr<DBusNotifier> notifier_;
    std::unique_ptr<StatusNotifierHostWatcher> trayHost_;
    std::unique_ptr<QtClipboard> clipboard_;
    std::unique_ptr<LogindWakeWatcher> wakeWatcher_;
    std::unique_ptr<LogindSessionLockWatcher> lockWatcher_;
    std::unique_ptr<Companion> companion_;
    std::unique_ptr<AdbSecondDisplayPhone> secondDisplayPhone_;

    std::unique_ptr<DeviceManager> devices_;
    std::unique_ptr<WirelessConnector> wireless_;
    std::unique_ptr<SecondDisplayManager> secondDisplay_;
    std::unique_ptr<AppWindowManager> appWindows_;
    std::unique_ptr<SeamlessInputManager> keyboardMouse_;
    std::unique_ptr<FileReceiver> fileReceiver_;
    std::unique_ptr<AppUpdater> updater_;
};

} // namespace lumarient
