#include "app/QuitOnSignal.h"
#include "app/SecondDisplayBackends.h"
#include "app/SingleInstance.h"
#include "devices/DeviceManager.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Sleeper.h"
#include "platform/UserDefaults.h"
#include "platform/avahi/AvahiServiceDiscovery.h"
#include "platform/dbus/LogindWakeWatcher.h"
#include "platform/netlink/NetlinkPathMonitor.h"
#include "tooling/ADB.h"
#include "tooling/Shell.h"
#include "tooling/ToolPaths.h"
#include "transfer/FileReceiver.h"
#include "ui/LumarientApp.h"

#include <QApplication>

#include <csignal>

using namespace lumarient;

int main(int argc, char *argv[])
{
    // A child that dies while we write to it must not take the app with it.
    std::signal(SIGPIPE, SIG_IGN);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumarient"));
    QApplication::setOrganizationName(QStringLiteral("Lumarient"));
    // A tray app: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (instance.handOverToRunningInstance()) {
        logLine(QStringLiteral("Lumarient"), QStringLiteral("Already running; asked the running app to come forward"));
        return 0;
    }
    instance.listen();

    QuitOnSignal quitOnSignal;
    UserDefaults defaults(UserDefaults::defaultFilePath());
    const ToolPaths toolPaths(defaults, ToolPaths::prefixOfRunningExecutable());
    const ADB adb(toolPaths, ThreadSleeper::instance());
    SecondDisplayBackends secondDisplay(defaults, toolPaths, adb);

    FileReceiver::shared().start();

    QObject::connect(&application, &QCoreApplication::aboutToQuit, [&secondDisplay] {
        logLine(QStringLiteral("Lumarient"), QStringLiteral("stopping"));
        // No adb command may hold up the quit; those that end sessions get a moment.
        Shell::cancelAll(std::chrono::milliseconds(750));
        FileReceiver::shared().stop();
        // Its virtual display must not outlive the app.
        secondDisplay.manager().stop();
    });

    // Ends every screen session when the app quits (SIGTERM and SIGINT included,
    // through QuitOnSignal); it registers for that itself.
    // Wireless discovery, network changes and the interfaces the LAN scan sweeps.
    AvahiServiceDiscovery serviceDiscovery;
    const SystemInterfaceSource interfaces;
    DeviceManager::Dependencies dependencies{toolPaths, adb, defaults, SteadyClock::instance(),
                                             ThreadSleeper::instance()};
    dependencies.serviceDiscovery = &serviceDiscovery;
    dependencies.makePathMonitor = [] { return std::make_unique<NetlinkPathMonitor>(); };
    dependencies.interfaces = &interfaces;
    DeviceManager deviceManager(dependencies);
    DeviceManager::setShared(&deviceManager);
    LogindWakeWatcher wakeWatcher;
    QObject::connect(&wakeWatcher, &LogindWakeWatcher::didWake, &deviceManager, &DeviceManager::systemDidWake,
                     Qt::QueuedConnection);

    LumarientApp ui(deviceManager, &secondDisplay.manager(), defaults);
    QObject::connect(&instance, &SingleInstance::activationRequested, &ui, &LumarientApp::bringForward);
    ui.launch();

    logLine(QStringLiteral("Lumarient"), QStringLiteral("started"));
    return application.exec();
}
