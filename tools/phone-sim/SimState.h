#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace phonesim {

// One display the simulated phone has besides its built-in screen.
struct SimDisplay {
    int id = 0;
    // "overlay:1" for the overlay display, "virtual:com.android.shell,2000,scrcpy,N"
    // for scrcpy's virtual displays.
    QString uniqueId;
    int width = 0;
    int height = 0;
    int density = 0;
    int windowingMode = 0;
};

struct SimPhone {
    QString usbSerial;
    QString model;
    QString product = QStringLiteral("sim_product");
    QString device = QStringLiteral("sim_device");
    // "device", "unauthorized", "authorizing" or "offline" on the cable.
    QString state = QStringLiteral("device");
    bool usbAttached = true;
    QMap<QString, QString> props;
    // "global.overlay_display_devices" and the like.
    QMap<QString, QString> settings;
    // "namespace key" -> value, for `device_config get`.
    QMap<QString, QString> deviceConfig;
    // Address on wlan0; empty when the phone is not on Wi-Fi.
    QString wlanAddress;
    // Port adbd listens on after `tcpip`; 0 while it listens on USB only.
    int tcpipPort = 0;
    int screenWidth = 1080;
    int screenHeight = 2400;
    int screenDensity = 420;
    // Whether `dumpsys display` shows the built-in screen's DisplayInfo line.
    bool displayInfoInDump = true;
    // How many `dumpsys display` polls after `settings put` the overlay shows up;
    // -1 means it never does.
    int overlayAppearsAfterPolls = 2;
    // Polls left until a requested overlay appears; -1 when none is requested.
    int overlayPollsLeft = -1;
    QList<SimDisplay> displays;
    int nextDisplayId = 2;
    // Installed packages and their version codes.
    QMap<QString, int> packages;
    // Granted permissions, each "package permission".
    QStringList grantedPermissions;
    // Port reversals, each "remote local" as given to `adb reverse`.
    QStringList reversedPorts;
    // What the companion app last heard: the "state" extra of its session
    // broadcast, followed by " " and the transport when one was sent.
    QString companionSession;
    // "WxH" while the companion's display receiver is open.
    QString displayReceiver;

    QJsonObject toJson() const;
    static SimPhone fromJson(const QJsonObject &object);
};

// A scripted answer that overrides the simulator's own behaviour for matching
// command lines.
struct SimRule {
    // Matches the tool it was invoked as: "adb" or "scrcpy".
    QString tool = QStringLiteral("adb");
    // The serial after "-s"; "*" matches any serial and none.
    QString serial = QStringLiteral("*");
    // The arguments after "-s S", joined by single spaces, must start with this.
    QString commandPrefix;
    QString output;
    int exitCode = 0;
    // How many more times the rule answers; -1 for ever.
    int times = -1;
    // Delay before answering (a large value makes the command hang).
    int sleepMs = 0;

    QJsonObject toJson() const;
    static SimRule fromJson(const QJsonObject &object);
};

// How the scrcpy stand-in behaves once started.
struct SimScrcpyScript {
    QString output;
    // Exit on its own after this long; -1 runs until terminated.
    int exitAfterMs = -1;
    int exitCode = 0;
    // The window closes when adb loses its phone, as the real one does.
    bool exitsWhenUnplugged = true;

    QJsonObject toJson() const;
    static SimScrcpyScript fromJson(const QJsonObject &object);
};

struct SimState {
    bool serverRunning = true;
    QList<SimPhone> phones;
    // Endpoints ("host:port") the adb server holds network connections to.
    QStringList wifiConnections;
    // Pairing endpoint "host:port" -> the code it accepts.
    QMap<QString, QString> pairingCodes;
    QList<SimRule> rules;
    SimScrcpyScript scrcpy;

    QJsonObject toJson() const;
    static SimState fromJson(const QJsonObject &object);
};

// One recorded run of the simulator.
struct SimInvocation {
    QString tool;
    QStringList arguments;
    // The environment entries that matter: "ADB" and "SCRCPY_SERVER_PATH".
    QMap<QString, QString> environment;

    QJsonObject toJson() const;
    static SimInvocation fromJson(const QJsonObject &object);
};

} // namespace phonesim
