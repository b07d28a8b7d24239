#pragma once

#include <QPointer>
#include <QProcess>
#include <QString>

#include <cstdint>
#include <optional>

namespace lumarient {

// A phone app shown in a desktop window of its own: one scrcpy showing the
// app on a virtual display of the phone.
struct AppWindow {
    // The app's Android task.
    int id = 0;
    QString package;
    // Also the desktop window's title.
    QString label;
    // The phone's virtual display that shows the app; -1 until scrcpy has said.
    int displayID = -1;
    QPointer<QProcess> process;
    std::int64_t pid = 0;
    // The task's bounds on the phone before it moved ("left top right bottom").
    std::optional<QString> originalBounds;
    // It floated as a freeform window on the phone.
    bool wasFreeform = false;
    // Whether the phone was in landscape when the bounds were taken.
    std::optional<bool> capturedLandscape;
    // Which launch this is, so that a late exit of an earlier scrcpy for the
    // same task is told apart.
    std::uint64_t launch = 0;
    // On its way back to the phone: its scrcpy's end is no longer news.
    bool returning = false;
};

} // namespace lumarient
