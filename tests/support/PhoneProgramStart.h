#pragma once

#include "support/Files.h"
#include "tooling/FailureText.h"

#include <QString>

#include <exception>

namespace lumarient::test {

// Puts a stand-in for the phone programs' archive where the app looks for it.
inline bool writeInputArchive(const QString &path)
{
    return writeFile(path, "stand-in input archive");
}

// The outcome of starting a phone-side program, filled in when it reports.
struct StartOutcome {
    bool reported = false;
    std::exception_ptr failure;

    QString failureText() const { return lumarient::failureText(failure); }
};

} // namespace lumarient::test
