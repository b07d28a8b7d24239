#pragma once

#include "model/LumarientError.h"
#include "support/Files.h"
#include "tooling/ShellError.h"

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

    // The failure's text, for LumarientError and ShellError.
    QString failureText() const
    {
        try {
            std::rethrow_exception(failure);
        } catch (const LumarientError &error) {
            return error.description();
        } catch (const ShellError &error) {
            return error.description();
        } catch (...) {
        }
        return {};
    }
};

} // namespace lumarient::test
