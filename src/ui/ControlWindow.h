#pragma once

#include "ui/MenuActions.h"

#include <QList>
#include <QTimer>
#include <QWidget>

class QVBoxLayout;

namespace lumarient {

// "Lumarient": the tray menu's entries as a window, for desktops that show no
// tray icons. Each text line is a label, each button a push button that does
// what the menu entry does, each divider a line; the window follows the
// sources' state. Made once and kept; closing only hides it.
class ControlWindow : public QWidget {
    Q_OBJECT
public:
    // `actions` must outlive the window.
    explicit ControlWindow(MenuActions &actions, QWidget *parent = nullptr);

    // Brings the window to the front, showing it if hidden.
    void present();
    // The widget showing each entry, in menu order.
    const QList<QWidget *> &entryWidgets() const { return widgets_; }

signals:
    // The window was brought up to date with the sources' state.
    void entriesUpdated();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateEntries();
    void renderNow();
    void render(const QList<MenuEntry> &entries);
    QWidget *makeWidget(const MenuEntry &entry, qsizetype position);
    void choose(qsizetype position) const;

    MenuActions &actions_;
    QVBoxLayout *entriesLayout_;
    // What each of `widgets_` shows, position for position.
    QList<MenuEntry> rendered_;
    QList<QWidget *> widgets_;
    // Collects every change of one event-loop turn into one update; a hidden
    // window catches up when it is shown.
    QTimer pendingUpdate_;
    bool stale_ = false;
};

} // namespace lumarient
