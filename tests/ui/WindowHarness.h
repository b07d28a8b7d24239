#pragma once

#include "devices/ManagerHarness.h"
#include "display/SecondDisplayManager.h"
#include "display/SecondDisplayPhone.h"
#include "input/SeamlessInputManager.h"
#include "tooling/Companion.h"
#include "ui/MenuSources.h"

#include <QWidget>

namespace lumarient::test {

// Renders `window` to a PNG in the build folder, for a person to look at.
inline void saveScreenshot(QWidget &window, const char *name)
{
    window.grab().save(QStringLiteral(LUMARIENT_SCREENSHOT_DIR "/%1.png").arg(QLatin1String(name)));
}

// The real managers the windows and the tray show, against simulated phones.
// The second display has no virtual displays and keyboard and mouse sharing
// no tap here, so starting either fails with its message.
class WindowHarness : public ManagerHarness {
protected:
    // The sources of the started manager, with a wireless connector of its own.
    MenuSources menuSources()
    {
        if (!wireless_)
            startWireless();
        return {*manager_, *wireless_, secondDisplay_, keyboardMouse_};
    }

    void plugIn(const char *serial, const char *model, const char *state = "device")
    {
        phonesim::SimPhone phone = makePhone(QString::fromLatin1(serial), QString::fromLatin1(model));
        phone.state = state;
        phone.props["ro.product.marketname"] = std::string("Galaxy ") + model;
        sim_.addPhone(phone);
    }
    void setState(const char *state)
    {
        sim_.update([&](phonesim::SimState &world) { world.phones[0].state = state; });
    }

    Companion companion_{paths_, adb_};
    AdbSecondDisplayPhone secondDisplayPhone_{adb_, companion_};
    SecondDisplayManager secondDisplay_{{}, secondDisplayPhone_};
    // Without a keyboard tap: starting it fails with its message.
    SeamlessInputManager keyboardMouse_{{}, {paths_, adb_, defaults_}};
};

} // namespace lumarient::test
