#pragma once

#include "model/ConnectedDevice.h"
#include "tooling/AdbServerClient.h"
#include "tooling/ListingTroubleLog.h"
#include "tooling/Shell.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <stop_token>

namespace lumarient {

class Sleeper;
class ToolPaths;

struct ScreenSize {
    int width = 0;
    int height = 0;
    bool operator==(const ScreenSize &) const = default;
};

// The phone commands, run through `adb`. The only place that knows the wording
// of adb's and Android's output. Holds no state of its own beyond the tool
// paths, the sleeper it waits with and the log of listing trouble (which is
// thread-safe), so any thread may use it at any time.
//
// Operations that return a truth value or an optional swallow command failures;
// the others throw ShellError or LumarientError, and their waits throw
// OperationCancelled when `stop` is requested.
class ADB {
public:
    // `commandTimeLimit` stops every command that is not given a limit of its own.
    ADB(const ToolPaths &paths, Sleeper &sleeper, std::chrono::milliseconds commandTimeLimit = Shell::defaultTimeLimit);

    // `adb install` copies a whole APK, so it gets longer than other commands.
    static constexpr std::chrono::milliseconds installTimeLimit = std::chrono::minutes(5);

    // Runs adb with `arguments` (see Shell::run), within the command time limit
    // unless `timeLimit` is given.
    QString run(const QStringList &arguments, std::optional<std::chrono::milliseconds> timeLimit = {}) const;
    // Runs adb and reports only whether it succeeded.
    bool succeeds(const QStringList &arguments, std::optional<std::chrono::milliseconds> timeLimit = {}) const;

    // Asked of the adb server over its socket; through an adb process when the
    // server cannot be reached. Trouble with the process's listing (a failure,
    // an answer without adb's header) is logged once per new kind, not at every poll.
    QList<ConnectedDevice> listDevices() const;
    // Makes the phone's `port` reach the same port here unless it already does:
    // a cheap look at the server's list of reversals, the reversal itself only
    // when missing. Reports whether the reversal is in place.
    bool ensureReverse(const QString &serial, int port) const;
    QString marketingName(const QString &serial, const QString &fallbackModel) const;
    bool deleteOverlayDisplay(const QString &serial) const;
    // Returns the new overlay display's id.
    QString createOverlayDisplay(const QString &serial, const QString &resolution, std::stop_token stop) const;
    std::optional<ScreenSize> screenSize(const QString &serial) const;
    std::optional<int> newestScrcpyDisplayID(const QString &serial) const;
    bool setDisplayFreeform(const QString &serial, int displayID) const;
    // Waits up to about 5 s for the phone to be listed as ready; never fails and
    // is not cut short by `stop`.
    void waitUntilReady(const QString &serial) const;
    void connect(const QString &host, int port, std::stop_token stop) const;
    // Returns the endpoint under which adb now lists the phone.
    QString switchToWifi(const QString &serial, int port, std::stop_token stop) const;
    void pair(const QString &host, int port, const QString &code) const;

private:
    QStringList onPhone(const QString &serial, QStringList arguments) const;
    // The server named by ANDROID_ADB_SERVER_PORT now, as the adb processes see it.
    static AdbServerClient server();

    const ToolPaths &paths_;
    Sleeper &sleeper_;
    std::chrono::milliseconds commandTimeLimit_;
    mutable ListingTroubleLog listingTrouble_;
};

} // namespace lumarient
