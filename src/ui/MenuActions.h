#pragma once

#include "ui/MenuModel.h"
#include "ui/MenuSources.h"

#include <functional>

namespace lumarient {

// What each menu entry does, for every renderer of the menu (the tray and the
// control window): one manager operation per entry, or one of the app's windows.
class MenuActions {
public:
    struct Actions {
        std::function<void()> openSettings;
        std::function<void()> openSetupGuide;
        std::function<void()> quit;
        std::function<void()> openKeyboardMouseSetup;
        // Whether the keyboard and mouse setup window has been seen once; until
        // then "Keyboard & Mouse Only" opens it instead of starting.
        std::function<bool()> hasSeenKeyboardMouseSetup;
        // Absent where the app has no updater.
        std::function<void()> checkForUpdates;
    };

    MenuActions(const MenuSources &sources, Actions actions);

    // Runs what the entry stands for. A configuration that has gone since the
    // entry was offered makes it do nothing.
    void trigger(const MenuAction &action);
    // "Keyboard & Mouse Only" would open the setup window rather than start.
    bool opensKeyboardMouseSetupInstead() const;
    // The sources' state with what only the app knows, as the menu shows it.
    MenuState menuState() const;
    const MenuSources &sources() const { return sources_; }

private:
    MenuSources sources_;
    Actions actions_;
};

} // namespace lumarient
