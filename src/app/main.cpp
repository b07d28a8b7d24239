#include "api/BusName.h"
#include "api/BusService.h"
#include "app/AppServices.h"
#include "app/QuitOnSignal.h"
#include "platform/DescriptorLimit.h"
#include "platform/Log.h"
#include "platform/SessionType.h"
#include "ui/LumarientApp.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstring>

using namespace lumarient;

int main(int argc, char *argv[])
{
    // Answered before Qt starts, so that it works without a desktop session.
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--version") == 0) {
            std::printf("Lumarient %s\n", LUMARIENT_VERSION);
            return 0;
        }
    }

    // A child that dies while we write to it must not take the app with it.
    std::signal(SIGPIPE, SIG_IGN);
    raiseDescriptorLimit();

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumarient"));
    QApplication::setOrganizationName(QStringLiteral("Lumarient"));
    QApplication::setApplicationVersion(QStringLiteral(LUMARIENT_VERSION));
    // A tray app: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    QDBusConnection bus = QDBusConnection::sessionBus();
    const BusClaim claim = claimBusName(bus);
    if (claim == BusClaim::handedOver) {
        logLine(QStringLiteral("Lumarient"), QStringLiteral("Already running; asked the running app to come forward"));
        return 0;
    }
    if (claim == BusClaim::unavailable) {
        logLine(QStringLiteral("Lumarient"),
                bus.isConnected()
                    ? QStringLiteral("The session bus refused the app's name: lumarient-cli cannot reach this app")
                    : QStringLiteral(
                          "No session bus: lumarient-cli cannot reach this app and a second launch is not noticed"));
    }

    // SIGTERM and SIGINT quit through the same path as the menu's Quit.
    QuitOnSignal quitOnSignal;
    AppServices services(sessionTypeOf(QProcessEnvironment::systemEnvironment()));
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [&services] { services.stop(); });
    services.start();

    LumarientApp ui({services.devices(), services.wireless(), services.secondDisplay(), services.keyboardMouse()},
                    services.defaults(), services.updater(), &services.trayHost());
    BusService busService(ui.menuActions(), [&ui] { ui.bringForward(); });
    if (claim == BusClaim::owned && !busService.registerOn(bus))
        logLine(QStringLiteral("Lumarient"), QStringLiteral("Could not offer the app on the session bus"));
    ui.launch();

    logLine(QStringLiteral("Lumarient"), QStringLiteral("started"));
    return application.exec();
}
