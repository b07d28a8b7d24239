#pragma once

// The simulated world. Plain standard-library types: the simulator runs once per
// adb command, so it must start in a few milliseconds and links no Qt.

#include <map>
#include <string>
#include <vector>

namespace phonesim {

using Words = std::vector<std::string>;
using TextMap = std::map<std::string, std::string>;

// One display the simulated phone has besides its built-in screen.
struct SimDisplay {
    int id = 0;
    // "overlay:1" for the overlay display, "virtual:com.android.shell,2000,scrcpy,N"
    // for scrcpy's virtual displays.
    std::string uniqueId;
    int width = 0;
    int height = 0;
    int density = 0;
    int windowingMode = 0;
};

// How the phone's input server stand-in behaves once started.
struct SimInputServerScript {
    // What it prints first: the ready line, a "fatal ..." line, or nothing at all.
    std::string startOutput = "LumarientInput ready\n";
    // Exits after reading this many records (0: right after starting); -1 never.
    int exitAfterRecords = -1;
    // Closes its standard input after this many records but keeps running, so
    // the computer's next write finds a broken pipe; -1 never.
    int closeInputAfterRecords = -1;
};

// How the phone's window watcher stand-in behaves once started.
struct SimWindowWatcherScript {
    // What it prints first: the ready line, a "fatal ..." line, or nothing at all.
    std::string startOutput = "LumarientWatcher ready\n";
    // Ends right after printing its start output.
    bool exitAfterStart = false;
    // Ends after reading this many lines; -1 never.
    int exitAfterLines = -1;
    // The value it gives the global freeform setting when told "watch 0", as a
    // watcher that needs freeform windows does; empty leaves the setting alone.
    std::string freeformWhileWatching = "1";
};

// One task of the phone's activity manager.
struct SimTask {
    int id = 0;
    std::string package;
    int displayId = 0;
    // "fullscreen" or "freeform".
    std::string mode = "fullscreen";
    // mBounds: left, top, right, bottom.
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct SimPhone {
    std::string usbSerial;
    std::string model;
    std::string product = "sim_product";
    std::string device = "sim_device";
    // "device", "unauthorized", "authorizing" or "offline" on the cable.
    std::string state = "device";
    bool usbAttached = true;
    TextMap props;
    // "global.overlay_display_devices" and the like.
    TextMap settings;
    // "namespace key" -> value, for `device_config get`.
    TextMap deviceConfig;
    // Address on wlan0; empty when the phone is not on Wi-Fi.
    std::string wlanAddress;
    // Port adbd listens on after `tcpip`; 0 while it listens on USB only.
    int tcpipPort = 0;
    // Port of Android's wireless debugging (a random high port, reached only
    // after pairing on a real phone); 0 while wireless debugging is off.
    int wirelessDebuggingPort = 0;
    // Whether this computer has paired with the phone: the wireless-debugging
    // port accepts connections only then.
    bool wirelessDebuggingPaired = false;
    // The serial adb lists the phone under after finding it through mDNS itself,
    // e.g. "adb-R58M123ABC-AbCdEf._adb-tls-connect._tcp"; empty when not listed so.
    std::string mdnsSerial;
    int screenWidth = 1080;
    int screenHeight = 2400;
    int screenDensity = 420;
    // Whether `dumpsys display` shows the built-in screen's DisplayInfo line.
    bool displayInfoInDump = true;
    // How many `dumpsys display` polls after `settings put` the overlay shows up;
    // 0 at once, -1 never.
    int overlayAppearsAfterPolls = 2;
    // Polls left until a requested overlay appears; -1 when none is requested.
    int overlayPollsLeft = -1;
    std::vector<SimDisplay> displays;
    int nextDisplayId = 2;
    // Installed packages and their version codes.
    std::map<std::string, int> packages;
    // Granted permissions, each "package permission".
    Words grantedPermissions;
    // Port reversals, each "remote local" as given to `adb reverse`.
    Words reversedPorts;
    // What the companion app last heard: the "state" extra of its session
    // broadcast, followed by " " and the transport when one was sent.
    std::string companionSession;
    // "WxH" while the companion's display receiver is open.
    std::string displayReceiver;
    // Files copied with `adb push`: path on the phone -> local path it came from.
    TextMap pushedFiles;
    SimInputServerScript inputServer;
    SimWindowWatcherScript windowWatcher;
    // The activity manager's tasks, top first.
    std::vector<SimTask> tasks;
    int nextTaskId = 100;
    // The task `am task focus` last focused; -1 for none.
    int focusedTaskId = -1;
};

// A scripted answer that overrides the simulator's own behaviour for matching
// command lines.
struct SimRule {
    // Matches the tool it was invoked as: "adb" or "scrcpy".
    std::string tool = "adb";
    // The serial after "-s"; "*" matches any serial and none.
    std::string serial = "*";
    // The arguments after "-s S", joined by single spaces, must start with this.
    std::string commandPrefix;
    std::string output;
    int exitCode = 0;
    // How many more times the rule answers; -1 for ever.
    int times = -1;
    // Delay before answering (a large value makes the command hang).
    int sleepMs = 0;
};

// How the scrcpy stand-in behaves once started.
struct SimScrcpyScript {
    std::string output;
    // Exit on its own after this long; -1 runs until terminated.
    int exitAfterMs = -1;
    int exitCode = 0;
    // The window closes when adb loses its phone, as the real one does.
    bool exitsWhenUnplugged = true;
    // When $DISPLAY is set, a window titled as --window-title asks shows this
    // long after the start (the real one waits for the first video frame).
    int windowAfterMs = 0;
};

struct SimState {
    bool serverRunning = true;
    std::vector<SimPhone> phones;
    // Endpoints ("host:port") the adb server holds network connections to.
    Words wifiConnections;
    // Pairing endpoint "host:port" -> the code it accepts.
    TextMap pairingCodes;
    std::vector<SimRule> rules;
    SimScrcpyScript scrcpy;
};

// One recorded run of the simulator.
struct SimInvocation {
    std::string tool;
    Words arguments;
    // The environment entries that matter: "ADB", "SCRCPY_SERVER_PATH" and "SDL_VIDEO_DRIVER".
    TextMap environment;
};

// One 8-byte record the input server stand-in read, decoded.
struct SimInputRecord {
    // The phone's USB serial.
    std::string serial;
    // "mouse", "keyboard", or "unknown" for any other first byte.
    std::string kind;
    int buttons = 0;
    int dx = 0;
    int dy = 0;
    int wheel = 0;
    int pan = 0;
    int modifiers = 0;
    // The six key positions of a keyboard record, 0 where no key is.
    std::vector<int> keys;
    // All eight bytes, for "unknown" records.
    std::vector<int> bytes;
};

// Decodes one record as the phone's input program reads it.
SimInputRecord decodeInputRecord(const unsigned char (&record)[8]);

// JSON forms, as kept in the simulator's files.
std::string toJson(const SimState &state);
SimState stateFromJson(const std::string &json);
std::string toJson(const SimInvocation &invocation);
SimInvocation invocationFromJson(const std::string &json);
std::string toJson(const SimInputRecord &record);
SimInputRecord inputRecordFromJson(const std::string &json);

} // namespace phonesim
