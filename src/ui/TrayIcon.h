#pragma once

#include "ui/MenuActions.h"
#include "ui/MenuRenderer.h"

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

namespace lumarient {

// A tray icon titled "Lumarient" whose menu follows the sources' state, also
// while it is open.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    // `actions` must outlive the tray.
    explicit TrayIcon(MenuActions &actions, QObject *parent = nullptr);

    // Shows the icon; again after a tray host appeared, so that it registers there.
    void show();
    bool isShown() const { return icon_.isVisible(); }
    QMenu &menu() { return menu_; }

signals:
    // The menu was brought up to date with the sources' state.
    void menuUpdated();

private:
    void updateMenu();

    MenuActions &actions_;
    QMenu menu_;
    MenuRenderer renderer_;
    // Collects every change of one event-loop turn into one update.
    QTimer pendingUpdate_;
    QSystemTrayIcon icon_;
};

} // namespace lumarient
