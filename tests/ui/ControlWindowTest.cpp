// The control window that stands in for the tray menu, against the real
// managers and simulated phones, and the app's choice between it and the tray
// as a tray host comes and goes on a private bus.

#include "ui/ControlWindow.h"
#include "MenuTexts.h"
#include "WindowHarness.h"
#include "platform/dbus/StatusNotifierHostWatcher.h"
#include "support/PrivateBus.h"
#include "ui/LumarientApp.h"
#include "ui/OnboardingWindow.h"
#include "ui/TrayIcon.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QLabel>
#include <QMutex>
#include <QPushButton>
#include <QThread>

using namespace lumarient;
using namespace lumarient::test;

namespace {

// The lines a control window shows, as the menu model's texts.
QStringList shownTexts(const ControlWindow &window)
{
    QStringList lines;
    for (const QWidget *widget : window.entryWidgets()) {
        if (const auto *label = qobject_cast<const QLabel *>(widget))
            lines.append(label->text());
        else if (const auto *button = qobject_cast<const QPushButton *>(widget))
            lines.append(QString(button->text()).replace(QStringLiteral("&&"), QStringLiteral("&")));
        else
            lines.append(QStringLiteral("---"));
    }
    return lines;
}

QPushButton *buttonAt(const ControlWindow &window, qsizetype position)
{
    return qobject_cast<QPushButton *>(window.entryWidgets().value(position));
}

QPushButton *buttonNamed(const ControlWindow &window, const QString &text)
{
    for (QWidget *widget : window.entryWidgets()) {
        auto *button = qobject_cast<QPushButton *>(widget);
        if (button && button->text() == QString(text).replace(QLatin1Char('&'), QStringLiteral("&&")))
            return button;
    }
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

class ControlWindowTest : public WindowHarness {
protected:
    MenuActions &menuActions()
    {
        actions_ = std::make_unique<MenuActions>(menuSources(), MenuActions::Actions{[this] { ++settingsOpened_; },
                                                                                     [] {}, [this] { ++quits_; }, [] {},
                                                                                     [] { return true; }, nullptr});
        return *actions_;
    }

    std::unique_ptr<MenuActions> actions_;
    int settingsOpened_ = 0;
    int quits_ = 0;
};

} // namespace

TEST_F(ControlWindowTest, ShowsTheMenuAndItsButtonsActLikeTheEntries)
{
    startManager();
    plugIn("R58M", "S10");
    refreshNow();
    MenuActions &actions = menuActions();
    ControlWindow window(actions);
    window.present();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Lumarient"));
    EXPECT_EQ(shownTexts(window), lumarient::test::menuTexts(buildMenu(actions.menuState())));
    EXPECT_NE(qobject_cast<QLabel *>(window.entryWidgets()[4]), nullptr) << "a line, not a button";
    EXPECT_GE(window.minimumWidth(), 300);
    saveScreenshot(window, "control-window");

    QPushButton *desktop = buttonAt(window, 1);
    buttonNamed(window, QStringLiteral("Mirror Screen"))->click();
    ASSERT_TRUE(
        spinUntil([&] { return shownTexts(window).first() == QStringLiteral("Galaxy S10 — USB, Mirror running"); }));
    ASSERT_TRUE(spinUntil([&] { return scrcpyRuns().size() == 1; }));
    saveScreenshot(window, "control-window-session");

    // The button that offered "Desktop Mode" is kept and now stops the session.
    ASSERT_EQ(buttonAt(window, 1), desktop);
    desktop->click();
    ASSERT_TRUE(spinUntil([&] { return shownTexts(window).first() == QStringLiteral("Galaxy S10 — USB"); }));
    EXPECT_EQ(scrcpyRuns().size(), 1) << "stopping started nothing";

    // The window's global buttons reach the app's windows and its quit.
    buttonNamed(window, QStringLiteral("Settings…"))->click();
    buttonNamed(window, QStringLiteral("Quit Lumarient"))->click();
    EXPECT_EQ(settingsOpened_, 1);
    EXPECT_EQ(quits_, 1);
}

TEST_F(ControlWindowTest, NamesShowAsTextAndAHiddenWindowCatchesUpWhenShown)
{
    DeviceManager &manager = startManager();
    plugIn("R58M", "S10");
    refreshNow();
    ControlWindow window(menuActions());
    window.present();
    DeviceConfig renamed = manager.configs().first();
    renamed.name = QStringLiteral("<b>Bob</b> & <img src=x>");
    manager.setConfigs({renamed});
    ASSERT_TRUE(spinUntil([&] { return shownTexts(window).first().startsWith(renamed.name); }));
    auto *header = qobject_cast<QLabel *>(window.entryWidgets().first());
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->textFormat(), Qt::PlainText);

    window.close();
    unplug(QStringLiteral("R58M"));
    refreshNow();
    window.present();
    EXPECT_EQ(shownTexts(window).mid(0, 2), (QStringList{renamed.name + QStringLiteral(" — not connected"), "---"}));
    EXPECT_EQ(shownTexts(window), lumarient::test::menuTexts(buildMenu(actions_->menuState())));
}

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

// A desktop's tray extension: org.kde.StatusNotifierWatcher answering whether
// a host is registered. It answers on a thread of its own, so that the app's
// first, blocking question is answered too.
class FakeStatusNotifierWatcher final : public QDBusVirtualObject {
public:
    explicit FakeStatusNotifierWatcher(QDBusConnection bus) : bus_(std::move(bus))
    {
        thread_.start();
        moveToThread(&thread_);
    }
    ~FakeStatusNotifierWatcher() override
    {
        leave();
        thread_.quit();
        thread_.wait();
    }

    bool appear() { return bus_.registerVirtualObject(watcherPath, this) && bus_.registerService(watcherService); }
    void leave()
    {
        bus_.unregisterService(watcherService);
        bus_.unregisterObject(watcherPath);
    }
    // Any value: the app must take only a boolean true for a host.
    void hostRegistered(const QVariant &registered)
    {
        {
            const QMutexLocker lock(&mutex_);
            registered_ = registered;
        }
        bus_.send(
            QDBusMessage::createSignal(watcherPath, watcherService, QStringLiteral("StatusNotifierHostRegistered")));
    }

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() != QLatin1String("Get") || message.arguments().size() != 2 ||
            message.arguments()[1].toString() != QLatin1String("IsStatusNotifierHostRegistered"))
            return false;
        const QMutexLocker lock(&mutex_);
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(registered_))));
        return true;
    }

private:
    QDBusConnection bus_;
    QThread thread_;
    QMutex mutex_;
    QVariant registered_ = false;
};

} // namespace

TEST_F(ControlWindowTest, WithoutATrayHostTheWindowShowsAfterOnboardingAndATrayHostLaterTakesOver)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.running());
    startManager();
    StatusNotifierHostWatcher trayHost(bus.connect(QStringLiteral("app")));
    ASSERT_FALSE(trayHost.isPresent());

    LumarientApp app(menuSources(), defaults_, nullptr, &trayHost);
    app.launch();
    EXPECT_FALSE(app.hasTray());
    ASSERT_NE(app.onboardingWindow(), nullptr);
    EXPECT_EQ(app.controlWindow(), nullptr) << "onboarding comes first";
    app.onboardingWindow()->close();
    ASSERT_NE(app.controlWindow(), nullptr);
    ControlWindow &window = *app.controlWindow();
    EXPECT_TRUE(window.isVisible());

    FakeStatusNotifierWatcher extension(bus.connect(QStringLiteral("extension")));
    ASSERT_TRUE(extension.appear());
    extension.hostRegistered(true);
    ASSERT_TRUE(spinUntil([&] { return app.hasTray(); }));
    EXPECT_TRUE(app.tray().isShown());
    EXPECT_TRUE(window.isVisible()) << "the window stays as the user left it";

    // Closing it does not end the app; launching it again brings it back.
    window.close();
    app.bringForward();
    EXPECT_TRUE(window.isVisible());
    window.close();

    // The tray going away brings the window back by itself.
    extension.leave();
    ASSERT_TRUE(spinUntil([&] { return !app.hasTray(); }));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(app.controlWindow(), &window) << "made once and kept";
}

TEST_F(ControlWindowTest, WithATrayHostAtStartOnlyTheTrayShows)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.running());
    FakeStatusNotifierWatcher extension(bus.connect(QStringLiteral("extension")));
    ASSERT_TRUE(extension.appear());
    // Known before the app decides; anything but a boolean true is no host.
    const struct {
        QVariant answer;
        bool present;
    } answers[] = {
        {false, false}, {QStringLiteral("true"), false}, {1, false}, {QVariantList{true}, false}, {true, true}};
    int connection = 0;
    for (const auto &[answer, present] : answers) {
        extension.hostRegistered(answer);
        const StatusNotifierHostWatcher asked(bus.connect(QStringLiteral("ask%1").arg(++connection)));
        EXPECT_EQ(asked.isPresent(), present) << answer.toString().toStdString();
    }

    startManager();
    defaults_.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    StatusNotifierHostWatcher trayHost(bus.connect(QStringLiteral("app")));
    ASSERT_TRUE(trayHost.isPresent());

    LumarientApp app(menuSources(), defaults_, nullptr, &trayHost);
    app.launch();
    EXPECT_TRUE(app.hasTray());
    EXPECT_EQ(app.controlWindow(), nullptr);
    app.bringForward();
    ASSERT_NE(app.controlWindow(), nullptr);
    EXPECT_TRUE(app.controlWindow()->isVisible());
}
