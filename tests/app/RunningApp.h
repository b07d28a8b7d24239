#pragma once

#include "support/PrivateBus.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

namespace lumarient::test {

// The real app, headless, with settings of its own and a session bus of the
// test's own (so parallel tests, and the user's own app, never meet).
class RunningApp {
public:
    struct Options {
        QString adbPath{};
        QString scrcpyPath{};
        // Another app's settings, to launch a second instance beside it.
        QString configDir{};
        // The bus to run on; none means an address where no bus listens.
        const PrivateBus *bus = nullptr;
        // Settings written before the start.
        QVariantMap settings{};
        // Added to (or replacing in) the environment; the offscreen platform by default.
        QProcessEnvironment environment{};
    };

    explicit RunningApp(const Options &options);
    ~RunningApp();

    bool waitForLine(const QByteArray &line);
    void signal(int number);
    bool waitForExit(int ms);
    QProcess &process() { return process_; }
    QString configDir() const { return configDir_; }
    const QByteArray &output() const { return output_; }

private:
    QTemporaryDir config_;
    QString configDir_;
    QProcess process_;
    QByteArray output_;
};

// The environment for a child on `bus`: DBUS_SESSION_BUS_ADDRESS names it, or a
// socket where nothing listens.
QProcessEnvironment sessionEnvironment(const PrivateBus *bus);

// One run of lumarient-cli.
struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};
CliRun runCli(const PrivateBus *bus, const QStringList &arguments);

} // namespace lumarient::test
