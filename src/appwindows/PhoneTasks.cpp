#include "appwindows/PhoneTasks.h"

#include "appwindows/AndroidApp.h"
#include "appwindows/TaskBounds.h"
#include "platform/Clock.h"
#include "platform/Sleeper.h"
#include "tooling/ADB.h"
#include "tooling/ShellError.h"

#include <QStringList>

namespace lumarient {

PhoneTasks::PhoneTasks(const ADB &adb, Sleeper &sleeper, const Clock &clock)
    : adb_(adb), sleeper_(sleeper), clock_(clock)
{
}

std::optional<QString> PhoneTasks::dump(const QString &serial) const
{
    try {
        return adb_.run({QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("dumpsys"),
                         QStringLiteral("activity"), QStringLiteral("activities")});
    } catch (const ShellError &) {
        return std::nullopt;
    }
}

void PhoneTasks::runQuietly(const QString &serial, const QStringList &words) const
{
    try {
        adb_.run(QStringList{QStringLiteral("-s"), serial} + words);
    } catch (const ShellError &) {
    }
}

ActivityDump::TaskState PhoneTasks::taskState(const QString &serial, int taskID) const
{
    const std::optional<QString> text = dump(serial);
    return text ? ActivityDump::taskState(*text, taskID) : ActivityDump::TaskState{};
}

std::optional<int> PhoneTasks::currentTaskID(const QString &serial, const QString &package) const
{
    return taskID(serial, 0, package);
}

std::optional<int> PhoneTasks::taskID(const QString &serial, int displayID, const QString &package) const
{
    const std::optional<QString> text = dump(serial);
    return text ? ActivityDump::taskID(*text, displayID, package) : std::nullopt;
}

std::optional<ScreenSize> PhoneTasks::screenSizeSettled(const QString &serial, std::optional<bool> expectLandscape,
                                                        std::chrono::milliseconds timeout, std::stop_token stop) const
{
    std::optional<ScreenSize> size = adb_.screenSize(serial);
    if (!expectLandscape)
        return size;
    const Clock::TimePoint deadline = clock_.now() + timeout;
    while (clock_.now() < deadline) {
        if (size && TaskBounds::isLandscape(*size) == *expectLandscape)
            return size;
        sleeper_.sleep(screenSettlePoll, stop);
        size = adb_.screenSize(serial);
    }
    return size;
}

QString PhoneTasks::fitToScreen(const QString &bounds, const QString &serial, std::optional<bool> capturedLandscape,
                                std::stop_token stop) const
{
    if (!TaskBounds::parse(bounds))
        return bounds;
    return TaskBounds::fitToScreen(bounds, screenSizeSettled(serial, capturedLandscape, screenSettleTimeout, stop),
                                   capturedLandscape);
}

void PhoneTasks::launchOnMainDisplay(const QString &serial, const QString &package) const
{
    if (!AndroidApp::isValidPackage(package))
        return;
    runQuietly(serial, {QStringLiteral("shell"), QStringLiteral("monkey -p ") + package +
                                                     QStringLiteral(" -c android.intent.category.LAUNCHER 1")});
}

void PhoneTasks::moveToMainDisplay(const QString &serial, int taskID) const
{
    runQuietly(serial, {QStringLiteral("shell"), QStringLiteral("am"), QStringLiteral("display"),
                        QStringLiteral("move-stack"), QString::number(taskID), QStringLiteral("0")});
}

void PhoneTasks::focus(const QString &serial, int taskID) const
{
    runQuietly(serial, {QStringLiteral("shell"), QStringLiteral("am task focus ") + QString::number(taskID)});
}

void PhoneTasks::resize(const QString &serial, int taskID, const QString &bounds) const
{
    if (!TaskBounds::parse(bounds))
        return;
    runQuietly(serial, {QStringLiteral("shell"),
                        QStringLiteral("am task resize ") + QString::number(taskID) + QLatin1Char(' ') + bounds});
}

} // namespace lumarient
