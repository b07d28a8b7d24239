#pragma once

#include "ui/MenuModel.h"
#include "ui/MenuSources.h"

#include <functional>

namespace lumarient {

// What the menu's entries do, for every front end that offers them (the tray
// menu, the session-bus service): one dispatch, so they cannot drift apart.
class MenuActions {
public:
    // What the app around the managers provides.
    struct Hooks {
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

    MenuActions(const MenuSources &sources, Hooks hooks);

    const MenuSources &sources() const { return sources_; }
    // The sources' state as the menu shows it, this app's abilities included.
    MenuState menuState() const;
    // Runs what the entry stands for. A configuration that has gone since the
    // entry was offered makes it do nothing.
    void perform(const MenuAction &action);
    // "Keyboard & Mouse Only" would open the setup window rather than start.
    bool opensKeyboardMouseSetupInstead() const;

private:
    MenuSources sources_;
    Hooks hooks_;
};

} // namespace lumarient
