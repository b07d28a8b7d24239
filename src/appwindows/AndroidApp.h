#pragma once

#include <QString>

namespace lumarient {

// A phone app by its Android task.
struct AndroidApp {
    int id = 0;
    QString package;

    // The package's last dot-separated part, first letter upper-cased:
    // com.example.notes gives "Notes".
    QString label() const;
    // Whether `package` is a well-formed Android package name. Names reach phone
    // shell command lines, so nothing else may pass.
    static bool isValidPackage(const QString &package);

    bool operator==(const AndroidApp &) const = default;
};

} // namespace lumarient
