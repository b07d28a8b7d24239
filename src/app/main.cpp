#include "app/QuitOnSignal.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "tooling/ToolPaths.h"
#include "transfer/FileReceiver.h"

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

    QuitOnSignal quitOnSignal;
    UserDefaults defaults(UserDefaults::defaultFilePath());
    const ToolPaths toolPaths(defaults, ToolPaths::prefixOfRunningExecutable());

    FileReceiver::shared().start();

    QObject::connect(&application, &QCoreApplication::aboutToQuit, [] {
        logLine(QStringLiteral("Lumarient"), QStringLiteral("stopping"));
        FileReceiver::shared().stop();
    });

    logLine(QStringLiteral("Lumarient"), QStringLiteral("started"));
    return application.exec();
}
