#pragma once

#include "support/EventLoop.h"
#include "support/PrivateBus.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace lumarient::test {

// A headless GNOME compositor for a test: a private session bus, the PipeWire
// daemon and WirePlumber on it with a runtime folder of their own, and
// `mutter --headless --wayland --no-x11` with one virtual monitor, whose screen
// cast and remote desktop services then answer on that bus. Everything is
// stopped by its process id when this object goes.
class HeadlessMutter {
public:
    HeadlessMutter();
    ~HeadlessMutter();
    HeadlessMutter(const HeadlessMutter &) = delete;
    HeadlessMutter &operator=(const HeadlessMutter &) = delete;

    // False when a program is missing or did not come up; see problem().
    bool isRunning() const { return running_; }
    QString problem() const { return problem_; }

    PrivateBus &bus() { return bus_; }
    // The folder holding the PipeWire and Wayland sockets.
    QString runtimeFolder() const { return runtime_.path(); }
    // The compositor's process id (benchmarks read its CPU use).
    qint64 compositorPid() const { return mutter_.processId(); }

private:
    bool launch(QProcess &process, const QString &program, const QStringList &arguments);
    bool waitFor(const std::function<bool()> &condition, const QString &what);

    PrivateBus bus_;
    QTemporaryDir runtime_;
    QProcessEnvironment environment_;
    QProcess pipewire_;
    QProcess wireplumber_;
    QProcess mutter_;
    bool running_ = false;
    QString problem_;
};

// Tests that share one headless compositor per suite. Each test is skipped when
// it did not come up.
class HeadlessMutterSuite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        if (!mutter_->isRunning())
            GTEST_SKIP() << mutter_->problem().toStdString();
    }
    static void SetUpTestSuite()
    {
        ensureApplication();
        mutter_ = new HeadlessMutter();
    }
    static void TearDownTestSuite()
    {
        delete mutter_;
        mutter_ = nullptr;
    }
    static inline HeadlessMutter *mutter_ = nullptr;
};

} // namespace lumarient::test
