#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <sys/types.h>

namespace lumarient::test {

// A private X server for a test: Xorg with the dummy video driver (which, unlike
// Xvfb, can grow its framebuffer and hold RandR 1.5 user monitors) on a free
// display number, one 1920 x 1080 output at the origin. Stopped by its process
// id when this object goes.
class XorgServer {
public:
    XorgServer();
    ~XorgServer() { terminate(); }
    XorgServer(const XorgServer &) = delete;
    XorgServer &operator=(const XorgServer &) = delete;

    // False when Xorg or its dummy driver is missing, or the server did not come up.
    bool isRunning() const { return pid_ > 0; }
    // The server's process id (benchmarks read its CPU use).
    pid_t pid() const { return pid_; }
    // Why it is not running.
    QString problem() const { return problem_; }
    // ":N", for the backends' display-name arguments.
    const char *displayName() const { return displayName_.constData(); }

    // Runs xrandr against this server; its standard output, or a null string on failure.
    QString xrandr(const QStringList &arguments) const;
    // The names xrandr lists as monitors.
    QStringList monitorNames() const;

private:
    bool launch(int displayNumber);
    void terminate();

    QTemporaryDir folder_;
    QByteArray displayName_;
    pid_t pid_ = -1;
    QString problem_;
};

// Tests that share one X server per suite, with a Qt application. Each test is
// skipped when `server_` is not running (a SetUp of a suite's own calls this one
// first and returns when IsSkipped()); each test leaves the server as it found it.
class XorgSuite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        if (!server_->isRunning())
            GTEST_SKIP() << server_->problem().toStdString();
    }
    static void SetUpTestSuite() { server_ = new XorgServer(); }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }
    static XorgServer *server_;
};

} // namespace lumarient::test
