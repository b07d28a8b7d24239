#pragma once

#include "appwindows/ActivityDump.h"

#include <QString>

#include <chrono>
#include <optional>
#include <stop_token>

namespace lumarient {

class ADB;
class Clock;
class Sleeper;
struct ScreenSize;

// The activity-manager commands that move apps between the phone's displays.
// Each one blocks its thread while adb runs, so callers use them in the
// background; a command that fails is ignored (the next step still runs).
// Waits end early with OperationCancelled when `stop` is requested.
class PhoneTasks {
public:
    static constexpr std::chrono::milliseconds screenSettleTimeout{2500};
    static constexpr std::chrono::milliseconds screenSettlePoll{150};

    PhoneTasks(const ADB &adb, Sleeper &sleeper, const Clock &clock);

    ActivityDump::TaskState taskState(const QString &serial, int taskID) const;
    // The task of `package` on the phone's main display.
    std::optional<int> currentTaskID(const QString &serial, const QString &package) const;
    std::optional<int> taskID(const QString &serial, int displayID, const QString &package) const;

    // The screen size, read again every 0.15 s until its orientation is the
    // expected one or `timeout` has passed (then the last reading).
    std::optional<ScreenSize> screenSizeSettled(const QString &serial, std::optional<bool> expectLandscape,
                                                std::chrono::milliseconds timeout, std::stop_token stop) const;
    // `bounds` fitted to the phone's screen once it has settled.
    QString fitToScreen(const QString &bounds, const QString &serial, std::optional<bool> capturedLandscape,
                        std::stop_token stop) const;

    // Starts the app in front on the main display.
    void launchOnMainDisplay(const QString &serial, const QString &package) const;
    void moveToMainDisplay(const QString &serial, int taskID) const;
    void focus(const QString &serial, int taskID) const;
    // Only well-formed bounds are sent.
    void resize(const QString &serial, int taskID, const QString &bounds) const;

    Sleeper &sleeper() const { return sleeper_; }

private:
    std::optional<QString> dump(const QString &serial) const;
    void runQuietly(const QString &serial, const QStringList &words) const;

    const ADB &adb_;
    Sleeper &sleeper_;
    const Clock &clock_;
};

} // namespace lumarient
