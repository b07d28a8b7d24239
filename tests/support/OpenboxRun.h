#pragma once

#include <QProcess>
#include <QTemporaryDir>

namespace lumarient::test {

// openbox, a small EWMH window manager, on a test's X server, with a home of
// its own; stopped by its process id when this object goes.
class OpenboxRun {
public:
    explicit OpenboxRun(const char *displayName);
    ~OpenboxRun();
    OpenboxRun(const OpenboxRun &) = delete;
    OpenboxRun &operator=(const OpenboxRun &) = delete;

    // False when openbox is missing or did not announce itself on the root window.
    bool isRunning() const { return running_; }

private:
    QTemporaryDir home_;
    QProcess process_;
    bool running_ = false;
};

} // namespace lumarient::test
