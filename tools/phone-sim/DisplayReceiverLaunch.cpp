#include "DisplayReceiverLaunch.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <limits.h>
#include <spawn.h>
#include <unistd.h>

extern char **environ;

namespace phonesim {

namespace {

const std::string displayActivity = "com.corvantil.lumarient.companion/.DisplayActivity";
const std::string displayStopAction = "com.corvantil.lumarient.DISPLAY_STOP";

std::string valueAfter(const Words &words, const std::string &flag, const std::string &key = {})
{
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] != flag) {
            continue;
        }
        if (key.empty()) {
            return words[i + 1];
        }
        if (words[i + 1] == key && i + 2 < words.size()) {
            return words[i + 2];
        }
    }
    return {};
}

std::optional<int> positive(const std::string &text)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int value = std::stoi(text);
    return value > 0 ? std::optional<int>(value) : std::nullopt;
}

std::string siblingProgram(const std::string &name)
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return name;
    }
    std::string self(path, std::size_t(length));
    return self.substr(0, self.rfind('/') + 1) + name;
}

} // namespace

std::optional<std::pair<int, int>> displayActivitySize(const Words &amWords)
{
    if (amWords.empty() || amWords[0] != "start" || valueAfter(amWords, "-n") != displayActivity) {
        return std::nullopt;
    }
    const std::optional<int> width = positive(valueAfter(amWords, "--ei", "w"));
    const std::optional<int> height = positive(valueAfter(amWords, "--ei", "h"));
    if (!width || !height) {
        return std::nullopt;
    }
    return std::make_pair(*width, *height);
}

bool isDisplayStopBroadcast(const Words &amWords)
{
    return !amWords.empty() && amWords[0] == "broadcast" && valueAfter(amWords, "-a") == displayStopAction;
}

bool launchDisplayReceiver(const std::string &folder, int width, int height, int port, const std::string &chosen)
{
    stopDisplayReceiver(folder);
    const std::string program = chosen.empty() ? siblingProgram("display-receiver") : chosen;
    const std::string record = folder + "/display-receiver.log";
    const std::string output = folder + "/display-receiver.out";
    const std::string widthText = std::to_string(width);
    const std::string heightText = std::to_string(height);
    const std::string portText = std::to_string(port);
    const char *arguments[] = {program.c_str(), "--width",        widthText.c_str(), "--height",     heightText.c_str(),
                               "--port",        portText.c_str(), "--record",        record.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Not adb's output pipe: whoever reads it would wait for the receiver to end.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, const_cast<char **>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        return false;
    }
    std::ofstream(folder + "/display-receiver.pid") << pid << '\n';
    return true;
}

bool stopDisplayReceiver(const std::string &folder)
{
    const std::string pidPath = folder + "/display-receiver.pid";
    std::ifstream file(pidPath);
    pid_t pid = -1;
    if (!(file >> pid) || pid <= 1) {
        return false;
    }
    file.close();
    std::remove(pidPath.c_str());
    // The receiver may have ended by itself and its number gone to another process.
    std::ifstream commandLine("/proc/" + std::to_string(pid) + "/cmdline");
    std::string program;
    std::getline(commandLine, program, '\0');
    if (program.size() < 16 || program.compare(program.size() - 16, 16, "display-receiver") != 0) {
        return false;
    }
    return kill(pid, SIGTERM) == 0;
}

} // namespace phonesim
