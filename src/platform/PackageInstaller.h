#pragma once

#include <QString>

#include <functional>

namespace lumarient {

// Installs a package file through the desktop's package service.
class PackageInstaller {
public:
    struct Outcome {
        bool installed = false;
        // No package service on this computer: the caller offers the file instead.
        bool serviceMissing = false;
        QString message;
    };

    virtual ~PackageInstaller() = default;
    // `done` runs once, on the calling thread, when the service has finished
    // (which may take as long as the user's authorisation does).
    virtual void install(const QString &path, std::function<void(Outcome)> done) = 0;
};

} // namespace lumarient
