// The tray menu against the real managers and simulated phones, opened as a
// user would have it open while the phones and sessions change.

#include "WindowHarness.h"
#include "ui/MenuRenderer.h"
#include "ui/TrayIcon.h"

#include <QSignalSpy>

using namespace lumarient;
using namespace lumarient::test;

namespace {

class TrayMenuTest : public WindowHarness {
protected:
    TrayIcon &openTray(std::function<void()> checkForUpdates = nullptr)
    {
        actions_ = std::make_unique<MenuActions>(
            menuSources(), MenuActions::Actions{[] {}, [] {}, [] {}, [] {}, [] { return true; }, checkForUpdates});
        tray_ = std::make_unique<TrayIcon>(*actions_);
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

    std::unique_ptr<MenuActions> actions_;
    std::unique_ptr<TrayIcon> tray_;
};

} // namespace

TEST_F(TrayMenuTest, AnOpenMenuFollowsASessionInPlaceAndItsEntriesStillAct)
{
    startManager();
    plugIn("R58M", "S10");
    refreshNow();
    TrayIcon &tray = openTray();
    EXPECT_FALSE(tray.menu().actions().first()->isEnabled());
    saveScreenshot(tray.menu(), "tray-menu");
    const QList<QAction *> opened = tray.menu().actions();

    entry(QStringLiteral("Mirror Screen"))->trigger();
    ASSERT_TRUE(spinUntil([&] { return texts().first() == QStringLiteral("Galaxy S10 — USB, Mirror running"); }));
    ASSERT_TRUE(spinUntil([&] { return scrcpyRuns().size() == 1; }));
    EXPECT_TRUE(tray.menu().isVisible());
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
    actions_->trigger({MenuAction::Kind::startDesktop, QUuid::createUuid()});
    EXPECT_EQ(scrcpyRuns().size(), 1);
}

TEST_F(TrayMenuTest, PhonesAndFailuresAppearAndGoWhileTheMenuIsOpen)
{
    startManager();
    int updateChecks = 0;
    TrayIcon &tray = openTray([&] { ++updateChecks; });
    EXPECT_EQ(texts().first(), QStringLiteral("No devices — plug in a phone with USB debugging on"));
    // Only an app with an updater offers the check, just above Quit.
    EXPECT_EQ(texts().mid(texts().size() - 3), (QStringList{"Check for Updates…", "---", "Quit Lumarient"}));
    entry(QStringLiteral("Check for Updates…"))->trigger();
    EXPECT_EQ(updateChecks, 1);

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
    EXPECT_TRUE(texts().contains(failure));
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

namespace {

QList<MenuEntry> manyPhones(int count)
{
    QList<MenuEntry> entries;
    for (int index = 0; index < count; ++index) {
        entries.append(MenuEntry::textLine(QStringLiteral("Phone %1 — not connected").arg(index)));
        entries.append(MenuEntry::divider());
    }
    entries.append(MenuEntry::button(QStringLiteral("Scan Network for Devices"), {MenuAction::Kind::scanNetwork, {}}));
    entries.append(MenuEntry::button(QStringLiteral("Quit Lumarient"), {MenuAction::Kind::quit, {}}));
    return entries;
}

void expectShows(QMenu &menu, const QList<MenuEntry> &entries)
{
    const QList<QAction *> actions = menu.actions();
    ASSERT_EQ(actions.size(), entries.size());
    for (qsizetype index = 0; index < entries.size(); ++index) {
        const MenuEntry &entry = entries[index];
        ASSERT_EQ(actions[index]->isSeparator(), entry.kind == MenuEntry::Kind::divider) << index;
        if (entry.kind == MenuEntry::Kind::divider)
            continue;
        ASSERT_EQ(actions[index]->text(), QString(entry.text).replace(QLatin1Char('&'), QStringLiteral("&&"))) << index;
        ASSERT_EQ(actions[index]->isEnabled(), entry.kind == MenuEntry::Kind::button && entry.enabled) << index;
    }
}

} // namespace

TEST(MenuRenderer, ALongMenuChangesOnlyWhereItDiffers)
{
    // Qt pays a walk over the whole menu for every item added or removed, so
    // rebuilding 30,000 phones' lines at every change took seconds each.
    QMenu menu;
    QList<MenuAction> chosen;
    MenuRenderer renderer(menu, [&](const MenuAction &action) { chosen.append(action); });
    QList<MenuEntry> entries = manyPhones(15000);
    renderer.render(entries);
    expectShows(menu, entries);
    const QList<QAction *> before = menu.actions();

    // A new phone in the middle, one phone gone, the scan running.
    const QUuid newPhone = QUuid::createUuid();
    entries.remove(4, 2);
    entries.insert(15000, MenuEntry::textLine(QStringLiteral("New & shiny — USB")));
    entries.insert(15001,
                   MenuEntry::button(QStringLiteral("Mirror Screen"), {MenuAction::Kind::startMirror, newPhone}));
    entries.insert(15002, MenuEntry::divider());
    entries[entries.size() - 2] =
        MenuEntry::button(QStringLiteral("Scanning Network…"), {MenuAction::Kind::scanNetwork, {}}, false);
    renderer.render(entries);
    expectShows(menu, entries);

    // The items stay; only the one more that is needed is made.
    const QList<QAction *> after = menu.actions();
    const QSet<QAction *> earlier(before.cbegin(), before.cend());
    EXPECT_EQ(std::count_if(after.cbegin(), after.cend(), [&](QAction *action) { return !earlier.contains(action); }),
              1);
    EXPECT_EQ(after.first(), before.first());
    EXPECT_EQ(after[15000]->text(), QStringLiteral("New && shiny — USB"));

    // Kept and new buttons act as they show now.
    after.last()->trigger();
    after[15001]->trigger();
    EXPECT_EQ(chosen, (QList<MenuAction>{{MenuAction::Kind::quit, {}}, {MenuAction::Kind::startMirror, newPhone}}));
}
