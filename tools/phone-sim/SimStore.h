#pragma once

#include "SimState.h"

#include <functional>
#include <string>
#include <vector>

namespace phonesim {

// The simulator's files in one folder: state.json (the phones), lock (taken
// for every change), invocations.jsonl (one line per run, appended) and
// input-records.jsonl (what the phones' input servers read, one line each),
// watcher-input.log (the lines the phones' window watchers read, one each) and
// watcher-output (what tests give the window watchers to print).
class SimStore {
public:
    explicit SimStore(std::string folder);

    // The folder named by LUMARIENT_PHONESIM_DIR, or empty.
    static std::string folderFromEnvironment();

    const std::string &folder() const { return folder_; }

    // Reads the state, lets `change` edit it and writes it back, all under the
    // lock, so concurrent runs never lose each other's changes.
    void update(const std::function<void(SimState &)> &change) const;
    SimState read() const;

    void appendInvocation(const SimInvocation &invocation) const;
    std::vector<SimInvocation> invocations() const;
    void clearInvocations() const;

    void appendInputRecord(const SimInputRecord &record) const;
    std::vector<SimInputRecord> inputRecords() const;

    void appendWatcherInput(const std::string &line) const;
    Words watcherInput() const;
    // Appends `text` as it stands (it may end mid-line) to what the running
    // window watchers print next.
    void appendWatcherOutput(const std::string &text) const;
    // The watcher output from byte `offset` on, and where it now ends.
    std::string watcherOutputFrom(std::size_t offset) const;
    std::size_t watcherOutputSize() const;

private:
    std::string path(const char *name) const;

    std::string folder_;
};

} // namespace phonesim
