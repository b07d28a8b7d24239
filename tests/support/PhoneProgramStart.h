#pragma once

#include "tooling/FailureText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <exception>

namespace lumarient::test {

// Puts a stand-in for the phone programs' archive where the app looks for it.
inline bool writeInputArchive(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("stand-in input archive") > 0;
}

// The outcome of starting a phone-side program, filled in when it reports.
struct StartOutcome {
    bool reported = false;
    std::exception_ptr failure;

    QString failureText() const { return lumarient::failureText(failure); }
};

} // namespace lumarient::test
