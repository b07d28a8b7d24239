#include "PackageCommands.h"

#include "DisplayReceiverLaunch.h"
#include "SimStore.h"

#include "Text.h"

#include <algorithm>
#include <fstream>
#include <regex>

namespace phonesim {
namespace {

const std::string companionPackage = "com.corvantil.lumarient.companion";

bool contains(const Words &words, const std::string &word)
{
    return std::find(words.begin(), words.end(), word) != words.end();
}

std::string grantLine(const SimPhone &phone, const std::string &package, const std::string &permission,
                      const std::string &indent)
{
    const bool granted = contains(phone.grantedPermissions, package + ' ' + permission);
    return indent + permission + ": granted=" + (granted ? "true" : "false") + "\n";
}

// The value that follows `option` in an am command ("-n", "-a").
std::string option(const Words &words, const std::string &name)
{
    const auto found = std::find(words.begin(), words.end(), name);
    return found != words.end() && found + 1 != words.end() ? *(found + 1) : std::string();
}

// The value of `--es NAME VALUE` or `--ei NAME VALUE`.
std::string extra(const Words &words, const std::string &name)
{
    for (std::size_t index = 0; index + 2 < words.size(); ++index) {
        if ((words[index] == "--es" || words[index] == "--ei") && words[index + 1] == name)
            return words[index + 2];
    }
    return {};
}

std::string firstField(const std::string &entry)
{
    return entry.substr(0, entry.find(' '));
}

} // namespace

Reply dumpPackage(const SimPhone &phone, const std::string &package)
{
    const auto installed = phone.packages.find(package);
    if (installed == phone.packages.end())
        return {"Dexopt state:\n  Unable to find package: " + package + "\n\n", 0};
    const std::string version = std::to_string(installed->second);
    std::string text = "Activity Resolver Table:\n  Non-Data Actions:\n      android.intent.action.MAIN:\n"
                       "        5c1e2f0 " +
                       package +
                       "/.MainActivity filter 9d3a411\n\n"
                       "Packages:\n"
                       "  Package [" +
                       package +
                       "] (7a04c55):\n"
                       "    userId=10243\n"
                       "    pkg=Package{1b2e8c9 " +
                       package +
                       "}\n"
                       "    codePath=/data/app/~~Qw3rTy==/" +
                       package +
                       "-Zx8vB2==\n"
                       "    versionCode=" +
                       version +
                       " minSdk=29 targetSdk=34\n"
                       "    versionName=1." +
                       version +
                       "\n"
                       "    flags=[ HAS_CODE ALLOW_CLEAR_USER_DATA ALLOW_BACKUP ]\n"
                       "    requested permissions:\n"
                       "      android.permission.INTERNET\n"
                       "      android.permission.WRITE_SECURE_SETTINGS\n"
                       "      android.permission.POST_NOTIFICATIONS\n"
                       "    install permissions:\n"
                       "      android.permission.INTERNET: granted=true\n";
    text += grantLine(phone, package, "android.permission.WRITE_SECURE_SETTINGS", "      ");
    text += "    User 0: ceDataInode=131075 installed=true hidden=false suspended=false distractionFlags=0 "
            "stopped=false notLaunched=false enabled=0 instant=false virtual=false\n"
            "      runtime permissions:\n";
    text += grantLine(phone, package, "android.permission.POST_NOTIFICATIONS", "        ");
    return {text, 0};
}

Reply packageManager(SimPhone &phone, const Words &words)
{
    const std::string verb = words.size() > 1 ? words[1] : std::string();
    if ((verb == "grant" || verb == "revoke") && words.size() == 4) {
        const std::string &package = words[2];
        if (!phone.packages.count(package))
            return {"Exception occurred while executing '" + verb +
                        "':\njava.lang.IllegalArgumentException: Unknown package: " + package + "\n",
                    255};
        const std::string entry = package + ' ' + words[3];
        std::erase(phone.grantedPermissions, entry);
        if (verb == "grant")
            phone.grantedPermissions.push_back(entry);
        return {"", 0};
    }
    if (verb == "list" && words.size() > 2 && words[2] == "packages") {
        std::string text;
        for (const auto &[name, version] : phone.packages)
            text += "package:" + name + "\n";
        return {text, 0};
    }
    return {"Unknown command: " + verb + "\n", 255};
}

Reply activityManager(SimPhone &phone, const Words &words)
{
    const std::string verb = words.size() > 1 ? words[1] : std::string();
    const std::string component = option(words, "-n");
    const std::string action = option(words, "-a");
    std::string intent = "Intent { ";
    if (!action.empty())
        intent += "act=" + action + " ";
    if (verb == "broadcast")
        intent += "flg=0x400000 ";
    if (!component.empty())
        intent += "cmp=" + component + " ";
    if (contains(words, "--es") || contains(words, "--ei"))
        intent += "(has extras) ";
    intent += "}";
    const bool installed = phone.packages.count(component.substr(0, component.find('/'))) > 0;

    if (verb == "broadcast") {
        if (installed && component == companionPackage + "/.SessionReceiver") {
            if (action == "com.corvantil.lumarient.SESSION") {
                phone.companionSession = extra(words, "state");
                const std::string transport = extra(words, "transport");
                if (!transport.empty())
                    phone.companionSession += " " + transport;
            } else if (action == "com.corvantil.lumarient.DISPLAY_STOP") {
                phone.displayReceiver.clear();
                stopDisplayReceiver(SimStore::folderFromEnvironment());
            }
        }
        return {"Broadcasting: " + intent + "\nBroadcast completed: result=0\n", 0};
    }
    if (verb == "start") {
        if (!installed)
            return {"Starting: " + intent + "\nError type 3\nError: Activity class {" + component +
                        "} does not exist.\n",
                    0};
        if (component == companionPackage + "/.DisplayActivity") {
            phone.displayReceiver = extra(words, "w") + "x" + extra(words, "h");
            // The activity connects back to the computer's display stream.
            if (const std::optional<std::pair<int, int>> size = displayActivitySize(words))
                launchDisplayReceiver(SimStore::folderFromEnvironment(), size->first, size->second);
        }
        return {"Starting: " + intent + "\n", 0};
    }
    return {"Error: unknown command '" + verb + "'\n", 255};
}

Reply install(SimPhone &phone, const Words &words)
{
    const bool replace = contains(words, "-r");
    const std::string path = words.size() > 1 ? words.back() : std::string();
    std::ifstream apk(path, std::ios::binary);
    if (path.empty() || path[0] == '-' || !apk)
        return {"adb: failed to stat " + path + ": No such file or directory\n", 1};
    // A stand-in APK names its package and version in its text; anything else
    // installs as the companion at the required version.
    std::string content(4096, '\0');
    apk.read(content.data(), std::streamsize(content.size()));
    content.resize(std::size_t(apk.gcount()));
    static const std::regex packagePattern(R"(package=([\w.]+))");
    static const std::regex versionPattern(R"(versionCode=(\d{1,9}))");
    std::smatch match;
    const std::string package = std::regex_search(content, match, packagePattern) ? match[1].str() : companionPackage;
    const int version = std::regex_search(content, match, versionPattern) ? std::stoi(match[1].str()) : 6;
    if (phone.packages.count(package) && !replace)
        return {"Performing Streamed Install\nadb: failed to install " + path +
                    ": Failure [INSTALL_FAILED_ALREADY_EXISTS: Attempt to re-install " + package +
                    " without first uninstalling.]\n",
                1};
    phone.packages[package] = version;
    return {"Performing Streamed Install\nSuccess\n", 0};
}

Reply push(SimPhone &phone, const Words &words)
{
    if (words.size() != 3)
        return {"adb: push requires an argument\n", 1};
    const std::string &local = words[1];
    std::ifstream file(local, std::ios::binary | std::ios::ate);
    if (!file)
        return {"adb: error: cannot stat '" + local + "': No such file or directory\n", 1};
    const auto size = std::to_string(std::streamoff(file.tellg()));
    phone.pushedFiles[words[2]] = local;
    return {local + ": 1 file pushed, 0 skipped. 12.3 MB/s (" + size + " bytes in 0.001s)\n", 0};
}

Reply reverse(SimPhone &phone, const std::string &serial, const Words &words)
{
    static const std::regex socketSpec(R"(tcp:\d{1,5}|localabstract:\S+)");
    const std::string verb = words.size() > 1 ? words[1] : std::string();
    if (verb == "--list") {
        std::string text;
        for (const std::string &entry : phone.reversedPorts)
            text += serial + " " + entry + "\n";
        return {text, 0};
    }
    if (verb == "--remove-all") {
        phone.reversedPorts.clear();
        return {"", 0};
    }
    if (verb == "--remove" && words.size() == 3) {
        const std::size_t removed =
            std::erase_if(phone.reversedPorts, [&](const std::string &entry) { return firstField(entry) == words[2]; });
        if (removed == 0)
            return {"adb: error: listener '" + words[2] + "' not found\n", 1};
        return {"", 0};
    }
    if (words.size() == 3 && std::regex_match(words[1], socketSpec) && std::regex_match(words[2], socketSpec)) {
        std::erase_if(phone.reversedPorts, [&](const std::string &entry) { return firstField(entry) == words[1]; });
        phone.reversedPorts.push_back(words[1] + " " + words[2]);
        return {"", 0};
    }
    return {"adb: error: cannot bind listener: bad socket specification\n", 1};
}

} // namespace phonesim
