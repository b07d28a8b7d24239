// The real app on an X server whose desktop shows no tray icons: the control
// window stands in for the menu, on an X11 session and on a Wayland one (whose
// windows go through XWayland).

#include "RunningApp.h"
#include "support/EventLoop.h"
#include "support/XorgServer.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using lumarient::test::RunningApp;
using lumarient::test::XorgSuite;

namespace {

class DesktopSession : public XorgSuite {
protected:
    QByteArray xwininfo(const QStringList &arguments) const
    {
        QProcess query;
        query.start(QStringLiteral("xwininfo"),
                    QStringList{QStringLiteral("-display"), QString::fromLatin1(server_->displayName())} + arguments);
        query.waitForFinished();
        return query.readAllStandardOutput();
    }
    // Whether the app's window titled "Lumarient" is mapped on the test's server
    // (Qt's hidden leader window carries the same name, but no class).
    bool controlWindowViewable() const
    {
        static const QRegularExpression line(
            QStringLiteral(R"((0x[0-9a-f]+) "Lumarient": \("lumarient" "Lumarient"\))"));
        const QRegularExpressionMatch window =
            line.match(QString::fromLocal8Bit(xwininfo({QStringLiteral("-root"), QStringLiteral("-tree")})));
        return window.hasMatch() &&
               xwininfo({QStringLiteral("-id"), window.captured(1)}).contains("Map State: IsViewable");
    }

    RunningApp::Options withoutTray(const QString &sessionType) const
    {
        RunningApp::Options options;
        options.settings.insert(QStringLiteral("hasCompletedOnboarding"), true);
        options.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        options.environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(server_->displayName()));
        // A session bus where no tray extension can answer.
        options.environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                                   QStringLiteral("unix:path=") + folder_.filePath(QStringLiteral("no-bus")));
        options.environment.insert(QStringLiteral("XDG_SESSION_TYPE"), sessionType);
        options.environment.insert(QStringLiteral("WAYLAND_DISPLAY"), sessionType == QLatin1String("wayland")
                                                                          ? QStringLiteral("wayland-test")
                                                                          : QString());
        return options;
    }

    QTemporaryDir folder_;
};

} // namespace

TEST_F(DesktopSession, WithoutATrayTheWindowStandsInForTheMenu)
{
    const struct {
        const char *session;
        bool keyboardMouse;
    } cases[] = {{"x11", true}, {"wayland", false}};
    for (const auto &[session, keyboardMouse] : cases) {
        RunningApp app(withoutTray(QString::fromLatin1(session)));
        ASSERT_TRUE(app.waitForLine("[Lumarient] started\n")) << app.output().toStdString();
        EXPECT_TRUE(app.output().contains(
            "[Lumarient] This desktop shows no tray icons; the Lumarient window stands in for the menu\n"))
            << app.output().toStdString();
        EXPECT_EQ(app.output().contains("[Lumarient] Wayland session: keyboard and mouse sharing is off"),
                  !keyboardMouse)
            << session;
        EXPECT_TRUE(lumarient::test::spinUntil([&] { return controlWindowViewable(); }))
            << session << xwininfo({QStringLiteral("-root"), QStringLiteral("-tree")}).toStdString();
        app.signal(SIGTERM);
        EXPECT_TRUE(app.waitForExit(5000)) << session;
    }
}
