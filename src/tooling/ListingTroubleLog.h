#pragma once

#include "tooling/ShellError.h"

#include <QString>

#include <mutex>

namespace lumarient {

// Logs what goes wrong with adb's device listing: one line per new kind of
// trouble rather than one per poll. A sound listing ends the trouble, so the
// same kind coming back later is logged again. Safe from any thread.
class ListingTroubleLog {
public:
    void failed(const ShellError &error);
    // The output of a listing that ran; trouble when adb's header is missing.
    void answered(const QString &output);

private:
    void note(const QString &kind, const QString &message);

    std::mutex mutex_;
    QString lastKind_;
};

} // namespace lumarient
