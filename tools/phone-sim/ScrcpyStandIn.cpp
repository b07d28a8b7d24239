#include "ScrcpyStandIn.h"

#include "DeviceListing.h"

#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/prctl.h>
#include <unistd.h>

namespace phonesim {
namespace {

volatile std::sig_atomic_t terminated = 0;

void onTerminate(int)
{
    terminated = 1;
}

void print(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QString optionValue(const QStringList &arguments, const QString &prefix)
{
    for (const QString &argument : arguments) {
        if (argument.startsWith(prefix))
            return argument.mid(prefix.size());
    }
    return QString();
}

// The phone behind `serial` while adb lists it as a usable device.
SimPhone *phoneFor(SimState &state, const QString &serial)
{
    for (const Transport &transport : transports(state)) {
        if (transport.serial == serial && transport.phoneIndex >= 0 && transport.state == QLatin1String("device"))
            return &state.phones[transport.phoneIndex];
    }
    return nullptr;
}

// Adds the display scrcpy's server creates for --new-display; returns its id.
int addVirtualDisplay(SimPhone &phone, const QString &resolution)
{
    SimDisplay display;
    display.id = phone.nextDisplayId++;
    display.uniqueId = QStringLiteral("virtual:com.android.shell,2000,scrcpy,%1").arg(display.id);
    const QStringList size = resolution.section('/', 0, 0).split('x');
    display.width = size.value(0).toInt() > 0 ? size.value(0).toInt() : phone.screenWidth;
    display.height = size.value(1).toInt() > 0 ? size.value(1).toInt() : phone.screenHeight;
    display.density = resolution.section('/', 1, 1).toInt() > 0 ? resolution.section('/', 1, 1).toInt() : 160;
    phone.displays.append(display);
    return display.id;
}

} // namespace

int runScrcpy(const SimStore &store, const QStringList &arguments)
{
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    // A test that crashes must not leave windows running for ever.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);

    const qsizetype serialIndex = arguments.indexOf(QStringLiteral("-s"));
    const QString serial = serialIndex >= 0 ? arguments.value(serialIndex + 1) : QString();
    const bool newDisplay = arguments.contains(QStringLiteral("--new-display")) ||
                            !optionValue(arguments, QStringLiteral("--new-display=")).isEmpty();

    bool found = false;
    QString phoneSerial;
    std::optional<int> displayId;
    SimScrcpyScript script;
    store.update([&](SimState &state) {
        script = state.scrcpy;
        SimPhone *phone = phoneFor(state, serial);
        if (!phone)
            return;
        found = true;
        phoneSerial = phone->usbSerial;
        if (newDisplay)
            displayId = addVirtualDisplay(*phone, optionValue(arguments, QStringLiteral("--new-display=")));
    });
    if (!found) {
        print(QStringLiteral("ERROR: Could not find ADB device %1:\nERROR: Server connection failed\n").arg(serial));
        return 1;
    }
    print(script.output);

    const auto removeDisplay = [&] {
        if (!displayId)
            return;
        store.update([&](SimState &state) {
            for (SimPhone &phone : state.phones) {
                if (phone.usbSerial == phoneSerial)
                    phone.displays.removeIf([&](const SimDisplay &display) { return display.id == *displayId; });
            }
        });
    };

    // Sleep in small steps so a terminate request ends the window promptly; look
    // at the phone now and then, as the real window closes when its phone goes.
    int exitCode = 0;
    for (int elapsedMs = 0; !terminated; elapsedMs += 10) {
        if (script.exitAfterMs >= 0 && elapsedMs >= script.exitAfterMs) {
            exitCode = script.exitCode;
            break;
        }
        if (script.exitsWhenUnplugged && elapsedMs % 100 == 0) {
            SimState current = store.read();
            if (!phoneFor(current, serial)) {
                print(QStringLiteral("WARN: Device disconnected\n"));
                exitCode = 2;
                break;
            }
        }
        ::usleep(10000);
    }
    removeDisplay();
    return exitCode;
}

} // namespace phonesim
