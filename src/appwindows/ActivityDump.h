#pragma once

#include <QString>

#include <optional>

namespace lumarient {

// Reading the activity manager's task dump ("dumpsys activity activities") and
// scrcpy's report of a new display. The text comes from the phone: anything
// that does not fit is no answer, never a crash.
namespace ActivityDump {

struct TaskState {
    // Left, top, right, bottom separated by single spaces.
    std::optional<QString> bounds;
    bool isFreeform = false;

    bool operator==(const TaskState &) const = default;
};

struct NewDisplay {
    int displayID = 0;
    int width = 0;
    int height = 0;

    bool operator==(const NewDisplay &) const = default;
};

// The task's bounds (from its own line or the 39 lines after it) and whether it
// floats as a freeform window.
TaskState taskState(const QString &dump, int taskID);
// The task of `package` on display `displayID`.
std::optional<int> taskID(const QString &dump, int displayID, const QString &package);
// One line of scrcpy's output: "New display: WxH/DPI (id=N)".
std::optional<NewDisplay> parseNewDisplay(const QString &line);

} // namespace ActivityDump
} // namespace lumarient
