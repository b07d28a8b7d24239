// The tray menu against the real managers and simulated phones, opened as a
// user would have it open while the phones and sessions change.

#include "WindowHarness.h"
#include "ui/TrayIcon.h"

#include <QSignalSpy>

using namespace lumarient;
using namespace lumarient::test;

namespace {

class TrayMenuTest : public WindowHarness {
protected:
    TrayIcon &openTray()
    {
        tray_ = std::make_unique<TrayIcon>(menuSources(), TrayIcon::Actions{[] {}, [] {}, [] {}});
        tray_->menu().popup(QPoint(0, 0));
        EXPECT_TRUE(tray_->menu().isVisible());
        return *tray_;
    }

    QStringList texts() const
    {
        QStringList lines;
        for (const QAction *action : tray_->menu().actions())
            lines.append(action->isSeparator() ? QStringLiteral("---") : action->text());
        return lines;
    }

    QAction *entry(const QString &text) const
    {
        for (QAction *action : tray_->menu().actions()) {
            if (action->text() == text)
                return action;
        }
        ADD_FAILURE() << "no entry " << text.toStdString();
        return nullptr;
    }

    std::unique_ptr<TrayIcon> tray_;
};

} // namespace

TEST_F(TrayMenuTest, AnOpenMenuFollowsASessionInPlaceAndItsEntriesStillAct)
{
    startManager();
    plugIn("R58M", "S10");
    refreshNow();
    TrayIcon &tray = openTray();
    EXPECT_EQ(texts().mid(0, 6), (QStringList{"Galaxy S10 — USB", "Desktop Mode", "Mirror Screen",
                                              "Use as Second Display", "Switch to Wi-Fi", "---"}));
    EXPECT_FALSE(tray.menu().actions().first()->isEnabled());
    saveScreenshot(tray.menu(), "tray-menu");
    const QList<QAction *> opened = tray.menu().actions();

    entry(QStringLiteral("Mirror Screen"))->trigger();
    ASSERT_TRUE(spinUntil([&] { return texts().first() == QStringLiteral("Galaxy S10 — USB, Mirror running"); }));
    ASSERT_TRUE(spinUntil([&] { return scrcpyRuns().size() == 1; }));
    EXPECT_TRUE(tray.menu().isVisible());
    EXPECT_EQ(texts().mid(0, 3), (QStringList{"Galaxy S10 — USB, Mirror running", "Stop Session", "---"}));
    // The same items, relabelled: nothing was torn down under the pointer.
    EXPECT_EQ(tray.menu().actions().first(), opened.first());
    EXPECT_EQ(tray.menu().actions()[1], opened[1]);
    saveScreenshot(tray.menu(), "tray-menu-session");

    // The item that offered "Desktop Mode" now stops the session.
    opened[1]->trigger();
    ASSERT_TRUE(spinUntil([&] { return texts().first() == QStringLiteral("Galaxy S10 — USB"); }));
    EXPECT_TRUE(tray.menu().isVisible());
    EXPECT_EQ(tray.menu().actions().mid(0, 2), opened.mid(0, 2));
    EXPECT_EQ(scrcpyRuns().size(), 1) << "stopping started nothing";

    // An action for a configuration that has gone since the menu was built does nothing.
    tray.perform({MenuAction::Kind::startDesktop, QUuid::createUuid()});
    EXPECT_EQ(scrcpyRuns().size(), 1);
}

TEST_F(TrayMenuTest, PhonesAndFailuresAppearAndGoWhileTheMenuIsOpen)
{
    startManager();
    TrayIcon &tray = openTray();
    EXPECT_EQ(texts().first(), QStringLiteral("No devices — plug in a phone with USB debugging on"));

    plugIn("R58M", "S10");
    refreshNow();
    ASSERT_TRUE(spinUntil([&] { return texts().first() == QStringLiteral("Galaxy S10 — USB"); }));
    EXPECT_TRUE(tray.menu().isVisible());

    // The second display has no virtual displays here: its failure shows.
    entry(QStringLiteral("Use as Second Display"))->trigger();
    const QString failure = QStringLiteral("⚠️ Second-display support isn't available on this desktop.");
    ASSERT_TRUE(spinUntil([&] { return texts().contains(failure); }));

    unplug(QStringLiteral("R58M"));
    refreshNow();
    ASSERT_TRUE(spinUntil([&] { return texts().first() == QStringLiteral("Galaxy S10 — not connected"); }));
    EXPECT_TRUE(tray.menu().isVisible());
    EXPECT_EQ(texts().mid(0, 4), (QStringList{"Galaxy S10 — not connected", "---", failure, "---"}));
}

TEST_F(TrayMenuTest, ChangesInOneTurnUpdateTheMenuOnce)
{
    DeviceManager &manager = startManager();
    TrayIcon &tray = openTray();
    QSignalSpy updates(&tray, &TrayIcon::menuUpdated);
    emit manager.changed();
    emit secondDisplay_.changed();
    emit manager.changed();
    EXPECT_EQ(updates.count(), 0) << "not while the changes are still coming";
    ASSERT_TRUE(spinUntil([&] { return updates.count() > 0; }));
    spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(updates.count(), 1);
}
