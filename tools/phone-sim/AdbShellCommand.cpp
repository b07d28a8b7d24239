#include "AdbShellCommand.h"

#include "ActivityTasks.h"
#include "DisplayDump.h"
#include "PackageCommands.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>

namespace phonesim {
namespace {

const std::string overlayKey = "global.overlay_display_devices";

Reply notFound(const std::string &program)
{
    return {"/system/bin/sh: " + program + ": inaccessible or not found\n", 127};
}

Reply invalid(const Words &words)
{
    return {"Invalid command: " + join(words, 1) + "\n", 255};
}

// Adds the overlay display that the overlay setting asks for.
void addOverlayDisplay(SimPhone &phone)
{
    SimDisplay display;
    display.id = phone.nextDisplayId++;
    display.uniqueId = "overlay:1";
    if (std::sscanf(phone.settings[overlayKey].c_str(), "%dx%d/%d", &display.width, &display.height,
                    &display.density) != 3) {
        display.width = 720;
        display.height = 480;
        display.density = 160;
    }
    phone.displays.push_back(display);
}

void removeOverlayDisplays(SimPhone &phone)
{
    phone.overlayPollsLeft = -1;
    std::erase_if(phone.displays, [](const SimDisplay &display) { return startsWith(display.uniqueId, "overlay:"); });
}

std::string valueOr(const TextMap &map, const std::string &key, const std::string &fallback)
{
    const auto found = map.find(key);
    return found == map.end() ? fallback : found->second;
}

Reply getprop(const SimPhone &phone, const Words &words)
{
    if (words.size() < 2) {
        std::string all;
        for (const auto &[key, value] : phone.props)
            all += "[" + key + "]: [" + value + "]\n";
        return {all, 0};
    }
    return {valueOr(phone.props, words[1], "") + '\n', 0};
}

Reply settings(SimPhone &phone, const Words &words)
{
    if (words.size() < 4 || (words[2] != "global" && words[2] != "system" && words[2] != "secure"))
        return invalid(words);
    const std::string key = words[2] + '.' + words[3];
    const std::string &verb = words[1];
    if (verb == "get")
        return {valueOr(phone.settings, key, "null") + '\n', 0};
    if (verb == "delete") {
        const bool existed = phone.settings.erase(key) > 0;
        if (key == overlayKey)
            removeOverlayDisplays(phone);
        return {std::string("Deleted ") + (existed ? "1" : "0") + " rows\n", 0};
    }
    if (verb == "put" && words.size() >= 5) {
        phone.settings[key] = join(words, 4);
        if (key == overlayKey) {
            removeOverlayDisplays(phone);
            if (phone.overlayAppearsAfterPolls == 0)
                addOverlayDisplay(phone);
            else if (phone.overlayAppearsAfterPolls > 0)
                phone.overlayPollsLeft = phone.overlayAppearsAfterPolls;
        }
        return {"", 0};
    }
    return invalid(words);
}

Reply dumpsys(SimPhone &phone, const Words &words)
{
    if (words.size() >= 2 && words[1] == "display") {
        if (phone.overlayPollsLeft > 0 && --phone.overlayPollsLeft == 0) {
            phone.overlayPollsLeft = -1;
            addOverlayDisplay(phone);
        }
        return {displayDump(phone), 0};
    }
    if (words.size() >= 3 && words[1] == "package")
        return dumpPackage(phone, words[2]);
    if (words.size() >= 3 && words[1] == "activity" && words[2] == "activities")
        return dumpActivities(phone);
    return {"Can't find service: " + (words.size() > 1 ? words[1] : "") + "\n", 0};
}

Reply wm(SimPhone &phone, const Words &words)
{
    if (words.size() >= 2 && words[1] == "size")
        return {"Physical size: " + std::to_string(phone.screenWidth) + "x" + std::to_string(phone.screenHeight) + "\n",
                0};
    if (words.size() == 5 && words[1] == "set-display-windowing-mode" && words[2] == "-d") {
        const std::optional<int> id = parseInt(words[3]);
        const std::optional<int> mode = parseInt(words[4]);
        for (SimDisplay &display : phone.displays) {
            if (id && mode && display.id == *id) {
                display.windowingMode = *mode;
                return {"", 0};
            }
        }
        return {"Error: Unable to set windowing mode on display " + words[3] + "\n", 255};
    }
    return {"Unknown command: " + (words.size() > 1 ? words[1] : "") + "\n", 255};
}

Reply ip(const SimPhone &phone, const Words &words)
{
    if (words != Words{"ip", "-4", "addr", "show", "wlan0"} || phone.wlanAddress.empty())
        return {"", 0};
    const std::string network = phone.wlanAddress.substr(0, phone.wlanAddress.rfind('.'));
    return {"47: wlan0: <BROADCAST,MULTICAST,UP,LOWER_UP> mtu 1500 qdisc mq state UP group default qlen 3000\n"
            "    inet " +
                phone.wlanAddress + "/24 brd " + network +
                ".255 scope global wlan0\n"
                "       valid_lft forever preferred_lft forever\n",
            0};
}

// "CLASSPATH=JAR app_process / CLASS": the phone-side programs of the input archive.
Reply appProcess(const SimPhone &phone, const Words &words)
{
    const std::string classPath = words[0].substr(std::string("CLASSPATH=").size());
    const std::string mainClass = words.size() == 4 && words[1] == "app_process" ? words[3] : std::string();
    if (mainClass == "com.corvantil.lumarient.input.LumarientInput" && phone.pushedFiles.count(classPath)) {
        Reply reply;
        reply.phoneProgram = "input-server";
        reply.phoneSerial = phone.usbSerial;
        return reply;
    }
    if (mainClass == "com.corvantil.lumarient.input.WindowWatcher" && phone.pushedFiles.count(classPath)) {
        Reply reply;
        reply.phoneProgram = "window-watcher";
        reply.phoneSerial = phone.usbSerial;
        return reply;
    }
    return {"Exception in thread \"main\" java.lang.ClassNotFoundException: " + mainClass + "\n", 1};
}

Reply deviceConfig(const SimPhone &phone, const Words &words)
{
    if (words.size() == 4 && words[1] == "get")
        return {valueOr(phone.deviceConfig, words[2] + ' ' + words[3], "null") + '\n', 0};
    return {"Invalid arguments\n", 255};
}

} // namespace

Reply runPhoneShell(SimPhone &phone, const std::string &commandLine)
{
    const Words words = splitWords(commandLine);
    if (words.empty())
        return {"", 0};
    const std::string &program = words[0];
    if (program == "getprop")
        return getprop(phone, words);
    if (program == "settings")
        return settings(phone, words);
    if (program == "dumpsys")
        return dumpsys(phone, words);
    if (program == "wm")
        return wm(phone, words);
    if (program == "ip")
        return ip(phone, words);
    if (program == "device_config")
        return deviceConfig(phone, words);
    if (program == "pm")
        return packageManager(phone, words);
    if (program == "am" && words.size() > 1 && (words[1] == "display" || words[1] == "stack" || words[1] == "task"))
        return taskCommand(phone, words);
    if (program == "am")
        return activityManager(phone, words);
    if (program == "monkey")
        return monkey(phone, words);
    if (startsWith(program, "CLASSPATH="))
        return appProcess(phone, words);
    return notFound(program);
}

} // namespace phonesim
