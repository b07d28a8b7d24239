#pragma once

#include "SimState.h"

#include <QList>
#include <QString>

#include <functional>

namespace phonesim {

// The simulator's files in one folder: state.json (the phones), lock (taken
// for every change) and invocations.jsonl (one line per run, appended).
class SimStore {
public:
    explicit SimStore(QString folder);

    // The folder named by LUMARIENT_PHONESIM_DIR.
    static QString folderFromEnvironment();

    const QString &folder() const { return folder_; }

    // Reads the state, lets `change` edit it and writes it back, all under the
    // lock, so concurrent runs never lose each other's changes.
    void update(const std::function<void(SimState &)> &change) const;
    SimState read() const;

    void appendInvocation(const SimInvocation &invocation) const;
    QList<SimInvocation> invocations() const;
    void clearInvocations() const;

private:
    QString statePath() const;
    QString logPath() const;
    int lock() const;

    QString folder_;
};

} // namespace phonesim
