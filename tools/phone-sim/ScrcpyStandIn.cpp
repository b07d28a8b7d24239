#include "ScrcpyStandIn.h"

#include "ActivityTasks.h"
#include "DeviceListing.h"
#include "Output.h"
#include "StandInWindow.h"
#include "Text.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/prctl.h>
#include <unistd.h>

namespace phonesim {
namespace {

std::optional<std::string> optionValue(const Words &arguments, const std::string &prefix)
{
    for (const std::string &argument : arguments) {
        if (startsWith(argument, prefix))
            return argument.substr(prefix.size());
    }
    return std::nullopt;
}

// The phone behind `serial` while adb lists it as a usable device.
SimPhone *phoneFor(SimState &state, const std::string &serial)
{
    for (const Transport &transport : transports(state)) {
        if (transport.serial == serial && transport.phoneIndex >= 0 && transport.state == "device")
            return &state.phones[std::size_t(transport.phoneIndex)];
    }
    return nullptr;
}

int positiveOr(const std::string &text, int fallback)
{
    const std::optional<int> value = parseInt(text);
    return value && *value > 0 ? *value : fallback;
}

// Adds the display scrcpy's server creates for --new-display; returns its id.
int addVirtualDisplay(SimPhone &phone, const std::string &resolution)
{
    SimDisplay display;
    display.id = phone.nextDisplayId++;
    display.uniqueId = "virtual:com.android.shell,2000,scrcpy," + std::to_string(display.id);
    const std::string size = resolution.substr(0, resolution.find('/'));
    const std::size_t cross = size.find('x');
    display.width = positiveOr(size.substr(0, cross), phone.screenWidth);
    display.height =
        cross == std::string::npos ? phone.screenHeight : positiveOr(size.substr(cross + 1), phone.screenHeight);
    const std::size_t slash = resolution.find('/');
    display.density = slash == std::string::npos ? 160 : positiveOr(resolution.substr(slash + 1), 160);
    phone.displays.push_back(display);
    return display.id;
}

} // namespace

int runScrcpy(const SimStore &store, const Words &arguments)
{
    catchTermination();
    // A test that crashes must not leave windows running for ever.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);

    const auto serialFlag = std::find(arguments.begin(), arguments.end(), "-s");
    const std::string serial =
        serialFlag != arguments.end() && serialFlag + 1 != arguments.end() ? *(serialFlag + 1) : std::string();
    const std::optional<std::string> newDisplay = optionValue(arguments, "--new-display");
    std::optional<std::string> startApp = optionValue(arguments, "--start-app=");
    // "+" asks for a forced stop first, "?" for a search by name: the package is the rest.
    if (startApp && !startApp->empty() && (startApp->front() == '+' || startApp->front() == '?'))
        startApp = startApp->substr(1);
    const std::string title = optionValue(arguments, "--window-title=").value_or(serial);
    const bool showsVideo = std::none_of(arguments.begin(), arguments.end(), [](const std::string &argument) {
        return argument == "--no-video" || argument == "--no-window" || argument == "--no-video-playback";
    });

    bool found = false;
    std::string phoneSerial;
    std::optional<int> displayId;
    SimDisplay shown;
    SimScrcpyScript script;
    store.update([&](SimState &state) {
        script = state.scrcpy;
        SimPhone *phone = phoneFor(state, serial);
        if (!phone)
            return;
        found = true;
        phoneSerial = phone->usbSerial;
        shown.width = phone->screenWidth;
        shown.height = phone->screenHeight;
        if (newDisplay) {
            displayId = addVirtualDisplay(*phone, startsWith(*newDisplay, "=") ? newDisplay->substr(1) : "");
            shown = phone->displays.back();
            if (startApp && !startApp->empty())
                startAppOnDisplay(*phone, *startApp, *displayId);
        }
    });
    if (!found) {
        print("ERROR: Could not find ADB device " + serial + ":\nERROR: Server connection failed\n");
        return 1;
    }
    if (displayId) {
        print("[server] INFO: New display: " + std::to_string(shown.width) + "x" + std::to_string(shown.height) + "/" +
              std::to_string(shown.density) + " (id=" + std::to_string(*displayId) + ")\n");
    }
    print(script.output);
    std::optional<StandInWindow> window;
    if (showsVideo)
        window.emplace(title, shown.width, shown.height);

    // Sleep in small steps so a terminate request ends the window promptly; look
    // at the phone now and then, as the real window closes when its phone goes.
    int exitCode = 0;
    bool windowShown = false;
    for (int elapsedMs = 0; !terminationRequested(); elapsedMs += 10) {
        if (window && !windowShown && elapsedMs >= script.windowAfterMs) {
            window->show();
            windowShown = true;
        }
        if (script.exitAfterMs >= 0 && elapsedMs >= script.exitAfterMs) {
            exitCode = script.exitCode;
            break;
        }
        if (script.exitsWhenUnplugged && elapsedMs % 100 == 0) {
            SimState current = store.read();
            if (!phoneFor(current, serial)) {
                print("WARN: Device disconnected\n");
                exitCode = 2;
                break;
            }
        }
        ::usleep(10000);
    }
    if (displayId) {
        store.update([&](SimState &state) {
            for (SimPhone &phone : state.phones) {
                if (phone.usbSerial != phoneSerial)
                    continue;
                std::erase_if(phone.displays, [&](const SimDisplay &display) { return display.id == *displayId; });
                removeDisplayTasks(phone, *displayId);
            }
        });
    }
    return exitCode;
}

} // namespace phonesim
