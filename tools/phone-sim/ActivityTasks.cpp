#include "ActivityTasks.h"

#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace phonesim {
namespace {

SimTask *findTask(SimPhone &phone, int id)
{
    for (SimTask &task : phone.tasks) {
        if (task.id == id)
            return &task;
    }
    return nullptr;
}

// To the top of the list, as the activity manager lists the front task first.
void bringToFront(SimPhone &phone, int id)
{
    const auto found =
        std::find_if(phone.tasks.begin(), phone.tasks.end(), [id](const SimTask &t) { return t.id == id; });
    if (found != phone.tasks.end())
        std::rotate(phone.tasks.begin(), found, found + 1);
}

std::string taskLine(const SimTask &task)
{
    char hash[16];
    std::snprintf(hash, sizeof hash, "%x", 0x5a3c000u + unsigned(task.id));
    return "  * Task{" + std::string(hash) + " #" + std::to_string(task.id) + " type=standard A=10" +
           std::to_string(100 + task.id % 900) + ":" + task.package +
           " U=0 visible=true visibleRequested=true mode=" + task.mode + " translucent=false sz=1}\n";
}

std::string rect(int left, int top, int right, int bottom)
{
    return "Rect(" + std::to_string(left) + ", " + std::to_string(top) + " - " + std::to_string(right) + ", " +
           std::to_string(bottom) + ")";
}

Reply usage(const Words &words)
{
    return {"Error: unknown command '" + join(words, 1) + "'\n", 255};
}

Reply moveTask(SimPhone &phone, const std::string &taskText, const std::string &displayText)
{
    const std::optional<int> id = parseInt(taskText);
    const std::optional<int> display = parseInt(displayText);
    SimTask *task = id ? findTask(phone, *id) : nullptr;
    if (!task)
        return {"Exception occurred while executing 'move-stack':\njava.lang.IllegalArgumentException: "
                "moveRootTaskToDisplay: Unknown rootTaskId=" +
                    taskText + "\n",
                255};
    const bool known = display && (*display == 0 || std::any_of(phone.displays.begin(), phone.displays.end(),
                                                                [&](const SimDisplay &d) { return d.id == *display; }));
    if (!known)
        return {"Exception occurred while executing 'move-stack':\njava.lang.IllegalArgumentException: "
                "moveRootTaskToDisplay: Unknown displayId=" +
                    displayText + "\n",
                255};
    task->displayId = *display;
    bringToFront(phone, task->id);
    return {"", 0};
}

} // namespace

Reply dumpActivities(const SimPhone &phone)
{
    std::set<int> displays{0};
    for (const SimDisplay &display : phone.displays)
        displays.insert(display.id);
    std::string out = "ACTIVITY MANAGER ACTIVITIES (dumpsys activity activities)\n";
    for (const int display : displays) {
        out += "Display #" + std::to_string(display) + " (activities from top to bottom):\n";
        for (const SimTask &task : phone.tasks) {
            if (task.displayId != display)
                continue;
            out += taskLine(task);
            out += "    mLastNonFullscreenBounds=" + rect(task.left, task.top, task.right, task.bottom) + "\n";
            out += "    isSleeping=false\n";
            out += "    mBounds=" + rect(task.left, task.top, task.right, task.bottom) + "\n";
            out += "    * Hist  #0: ActivityRecord{" + std::to_string(task.id) + " u0 " + task.package +
                   "/.MainActivity t" + std::to_string(task.id) + "}\n";
        }
        out += "\n";
    }
    const SimTask *focused = nullptr;
    for (const SimTask &task : phone.tasks) {
        if (task.id == phone.focusedTaskId)
            focused = &task;
    }
    if (focused)
        out += "  ResumedActivity: ActivityRecord{" + std::to_string(focused->id) + " u0 " + focused->package +
               "/.MainActivity t" + std::to_string(focused->id) + "}\n";
    return {out, 0};
}

Reply taskCommand(SimPhone &phone, const Words &words)
{
    // am display move-stack TASK DISPLAY
    if (words.size() == 5 && words[1] == "display" && words[2] == "move-stack")
        return moveTask(phone, words[3], words[4]);
    // am stack move-task TASK DISPLAY-STACK (the older wording)
    if (words.size() >= 5 && words[1] == "stack" && words[2] == "move-task")
        return moveTask(phone, words[3], words[4]);
    if (words.size() == 4 && words[1] == "task" && words[2] == "focus") {
        const std::optional<int> id = parseInt(words[3]);
        if (!id || !findTask(phone, *id))
            return {"Error: no task with id " + words[3] + "\n", 255};
        phone.focusedTaskId = *id;
        bringToFront(phone, *id);
        return {"", 0};
    }
    if (words.size() == 8 && words[1] == "task" && words[2] == "resize") {
        const std::optional<int> id = parseInt(words[3]);
        SimTask *task = id ? findTask(phone, *id) : nullptr;
        const std::optional<int> l = parseInt(words[4]), t = parseInt(words[5]), r = parseInt(words[6]),
                                 b = parseInt(words[7]);
        if (!task || !l || !t || !r || !b)
            return {"Error: bad arguments for task resize\n", 255};
        task->left = *l;
        task->top = *t;
        task->right = *r;
        task->bottom = *b;
        return {"", 0};
    }
    return usage(words);
}

Reply monkey(SimPhone &phone, const Words &words)
{
    const auto flag = std::find(words.begin(), words.end(), "-p");
    const std::string package = flag != words.end() && flag + 1 != words.end() ? *(flag + 1) : std::string();
    const bool known =
        phone.packages.count(package) > 0 || std::any_of(phone.tasks.begin(), phone.tasks.end(),
                                                         [&](const SimTask &task) { return task.package == package; });
    if (package.empty() || !known)
        return {"** No activities found to run, monkey aborted.\n", 251};
    startAppOnDisplay(phone, package, 0);
    return {
        "  bash arg: -p\n  bash arg: " + package +
            "\nEvents injected: 1\n## Network stats: elapsed time=12ms (0ms mobile, 0ms wifi, 12ms not connected)\n",
        0};
}

void startAppOnDisplay(SimPhone &phone, const std::string &package, int displayId)
{
    for (SimTask &task : phone.tasks) {
        if (task.package == package) {
            task.displayId = displayId;
            bringToFront(phone, task.id);
            return;
        }
    }
    SimTask task;
    task.id = phone.nextTaskId++;
    task.package = package;
    task.displayId = displayId;
    phone.tasks.insert(phone.tasks.begin(), task);
}

void removeDisplayTasks(SimPhone &phone, int displayId)
{
    std::erase_if(phone.tasks, [displayId](const SimTask &task) { return task.displayId == displayId; });
}

} // namespace phonesim
