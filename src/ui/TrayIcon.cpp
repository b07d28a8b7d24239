#include "ui/TrayIcon.h"

#include "devices/DeviceManager.h"
#include "display/SecondDisplayManager.h"
#include "input/SeamlessInputManager.h"
#include "ui/PhoneIcon.h"
#include "wireless/WirelessConnector.h"

#include <type_traits>

namespace lumarient {

TrayIcon::TrayIcon(const MenuSources &sources, Actions actions, QObject *parent)
    : QObject(parent), actions_(sources, std::move(actions)),
      renderer_(menu_, [this](const MenuAction &action) { perform(action); })
{
    pendingUpdate_.setSingleShot(true);
    pendingUpdate_.setInterval(0);
    connect(&pendingUpdate_, &QTimer::timeout, this, &TrayIcon::updateMenu);
    sources.forEach([this](auto &source) {
        using Source = std::remove_reference_t<decltype(source)>;
        connect(&source, &Source::changed, &pendingUpdate_, qOverload<>(&QTimer::start));
    });
    // A change in the same turn as the opening is shown at once.
    connect(&menu_, &QMenu::aboutToShow, this, [this] {
        if (pendingUpdate_.isActive())
            updateMenu();
    });
    icon_.setIcon(phoneIcon());
    icon_.setToolTip(QStringLiteral("Lumarient"));
    icon_.setContextMenu(&menu_);
    // A left click opens the same menu where the tray host does not do so itself.
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            menu_.popup(QCursor::pos());
    });
    updateMenu();
}

void TrayIcon::show()
{
    icon_.show();
}

void TrayIcon::updateMenu()
{
    pendingUpdate_.stop();
    renderer_.render(buildMenu(actions_.menuState()));
    emit menuUpdated();
}

} // namespace lumarient
