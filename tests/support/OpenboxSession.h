#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <chrono>

namespace lumarient::test {

// openbox, an EWMH window manager, on a test's X server with a private home
// folder. Started and stopped by its process id.
class OpenboxSession {
public:
    explicit OpenboxSession(const char *displayName);
    ~OpenboxSession();
    OpenboxSession(const OpenboxSession &) = delete;
    OpenboxSession &operator=(const OpenboxSession &) = delete;

    // Starts it and waits until it manages windows; false with problem() set
    // when it is missing or never got ready.
    bool start(std::chrono::milliseconds limit = std::chrono::seconds(10));
    QString problem() const { return problem_; }

private:
    bool managesAProbeWindow();

    QByteArray displayName_;
    QTemporaryDir home_;
    QProcess process_;
    QString problem_;
};

} // namespace lumarient::test
