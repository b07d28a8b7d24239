#include "SimStore.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

namespace phonesim {
namespace {

class FolderLock {
public:
    explicit FolderLock(const std::string &path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~FolderLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

private:
    int fd_;
};

std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

SimStore::SimStore(std::string folder) : folder_(std::move(folder))
{
}

std::string SimStore::folderFromEnvironment()
{
    const char *folder = std::getenv("LUMARIENT_PHONESIM_DIR");
    return folder ? folder : "";
}

std::string SimStore::path(const char *name) const
{
    return folder_ + '/' + name;
}

void SimStore::update(const std::function<void(SimState &)> &change) const
{
    FolderLock lock(path("lock"));
    SimState state = stateFromJson(readFile(path("state.json")));
    change(state);
    const std::string temporary = path("state.json.new");
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << toJson(state);
    }
    std::rename(temporary.c_str(), path("state.json").c_str());
}

SimState SimStore::read() const
{
    FolderLock lock(path("lock"));
    return stateFromJson(readFile(path("state.json")));
}

void SimStore::appendInvocation(const SimInvocation &invocation) const
{
    FolderLock lock(path("lock"));
    std::ofstream file(path("invocations.jsonl"), std::ios::binary | std::ios::app);
    file << toJson(invocation) << '\n';
}

std::vector<SimInvocation> SimStore::invocations() const
{
    FolderLock lock(path("lock"));
    std::ifstream file(path("invocations.jsonl"), std::ios::binary);
    std::vector<SimInvocation> invocations;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty())
            invocations.push_back(invocationFromJson(line));
    }
    return invocations;
}

void SimStore::appendInputRecord(const SimInputRecord &record) const
{
    FolderLock lock(path("lock"));
    std::ofstream file(path("input-records.jsonl"), std::ios::binary | std::ios::app);
    file << toJson(record) << '\n';
}

std::vector<SimInputRecord> SimStore::inputRecords() const
{
    FolderLock lock(path("lock"));
    std::ifstream file(path("input-records.jsonl"), std::ios::binary);
    std::vector<SimInputRecord> records;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty())
            records.push_back(inputRecordFromJson(line));
    }
    return records;
}

void SimStore::appendWatcherInput(const std::string &line) const
{
    FolderLock lock(path("lock"));
    std::ofstream file(path("watcher-input.log"), std::ios::binary | std::ios::app);
    file << line << '\n';
}

Words SimStore::watcherInput() const
{
    FolderLock lock(path("lock"));
    std::ifstream file(path("watcher-input.log"), std::ios::binary);
    Words lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

void SimStore::appendWatcherOutput(const std::string &text) const
{
    FolderLock lock(path("lock"));
    std::ofstream file(path("watcher-output"), std::ios::binary | std::ios::app);
    file << text;
}

std::string SimStore::watcherOutputFrom(std::size_t offset) const
{
    FolderLock lock(path("lock"));
    const std::string text = readFile(path("watcher-output"));
    return offset < text.size() ? text.substr(offset) : std::string();
}

std::size_t SimStore::watcherOutputSize() const
{
    FolderLock lock(path("lock"));
    return readFile(path("watcher-output")).size();
}

void SimStore::clearInvocations() const
{
    FolderLock lock(path("lock"));
    std::remove(path("invocations.jsonl").c_str());
}

} // namespace phonesim
