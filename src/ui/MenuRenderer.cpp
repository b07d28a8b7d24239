#include "ui/MenuRenderer.h"

#include <QAction>
#include <QMenu>

#include <algorithm>
#include <memory>

namespace lumarient {
namespace {

// The callback of the latest render, shared by every item of a menu so that
// kept items call it too.
using SharedCallback = std::shared_ptr<std::function<void(const MenuAction &)>>;
const char *const callbackProperty = "lumarientOnAction";

} // namespace
} // namespace lumarient

Q_DECLARE_METATYPE(lumarient::MenuEntry)
Q_DECLARE_METATYPE(lumarient::SharedCallback)

namespace lumarient {
namespace {

// Each item remembers the entry it shows, so that a new render can keep the
// items that have not changed and rewrite others in place.
MenuEntry shownEntry(const QAction *action)
{
    return action->data().value<MenuEntry>();
}

void show(QAction *action, const MenuEntry &entry)
{
    const bool divider = entry.kind == MenuEntry::Kind::divider;
    action->setSeparator(divider);
    // Menus treat '&' as a mnemonic marker; phone names may contain one.
    QString label = entry.text;
    label.replace(QLatin1Char('&'), QStringLiteral("&&"));
    action->setText(label);
    action->setEnabled(divider || (entry.kind == MenuEntry::Kind::button && entry.enabled));
    action->setData(QVariant::fromValue(entry));
}

QAction *makeItem(QMenu &menu, const SharedCallback &callback)
{
    auto *action = new QAction(&menu);
    // What the item does is read when it is chosen: it may show another entry by then.
    QObject::connect(action, &QAction::triggered, &menu, [action, callback] {
        const MenuEntry entry = shownEntry(action);
        if (entry.kind == MenuEntry::Kind::button)
            (*callback)(entry.action);
    });
    return action;
}

} // namespace

void renderMenu(QMenu &menu, const QList<MenuEntry> &entries, const std::function<void(const MenuAction &)> &onAction)
{
    SharedCallback callback = menu.property(callbackProperty).value<SharedCallback>();
    if (!callback) {
        callback = std::make_shared<std::function<void(const MenuAction &)>>();
        menu.setProperty(callbackProperty, QVariant::fromValue(callback));
    }
    *callback = onAction;

    // Adding or removing one item costs Qt a walk over all the others, so a
    // long menu keeps its items: unchanged ones at both ends stay, the ones
    // between show their new entries, and only the difference in count is
    // added or removed.
    const QList<QAction *> shown = menu.actions();
    const qsizetype common = std::min(shown.size(), entries.size());
    qsizetype head = 0;
    while (head < common && shownEntry(shown[head]) == entries[head])
        ++head;
    qsizetype tail = 0;
    while (tail < common - head && shownEntry(shown[shown.size() - 1 - tail]) == entries[entries.size() - 1 - tail])
        ++tail;

    const qsizetype shownEnd = shown.size() - tail;
    const qsizetype entriesEnd = entries.size() - tail;
    qsizetype index = head;
    for (; index < shownEnd && index < entriesEnd; ++index)
        show(shown[index], entries[index]);
    for (qsizetype surplus = index; surplus < shownEnd; ++surplus) {
        menu.removeAction(shown[surplus]);
        if (shown[surplus]->parent() == &menu)
            delete shown[surplus];
    }
    QAction *before = tail > 0 ? shown[shown.size() - tail] : nullptr;
    for (; index < entriesEnd; ++index) {
        QAction *action = makeItem(menu, callback);
        show(action, entries[index]);
        menu.insertAction(before, action);
    }
}

} // namespace lumarient
