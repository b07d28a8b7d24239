#pragma once

#include "ui/MenuModel.h"

#include <QObject>

#include <type_traits>

namespace lumarient {

class DeviceManager;
class SeamlessInputManager;
class SecondDisplayManager;
class WirelessConnector;

// The managers whose published state the tray menu shows. The tray watches the
// `changed` signal of every source that `forEach` visits, so a new source is its
// member here and its line in `forEach`.
struct MenuSources {
    DeviceManager &devices;
    WirelessConnector &wireless;
    SecondDisplayManager &secondDisplay;
    SeamlessInputManager &keyboardMouse;

    template <typename Visit> void forEach(Visit &&visit) const
    {
        visit(devices);
        visit(wireless);
        visit(secondDisplay);
        visit(keyboardMouse);
    }

    // Every source's `changed` calls `slot` on `receiver`. Callers include the
    // sources' headers.
    template <typename Receiver, typename Slot> void connectChanged(Receiver *receiver, Slot slot) const
    {
        forEach([&](auto &source) {
            using Source = std::remove_reference_t<decltype(source)>;
            QObject::connect(&source, &Source::changed, receiver, slot);
        });
    }
};

// The sources' state as the menu shows it.
MenuState readMenuState(const MenuSources &sources);

} // namespace lumarient
