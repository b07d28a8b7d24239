#pragma once

#include "appwindows/AppWindowManager.h"
#include "appwindows/WindowWatcherClient.h"
#include "devices/ScrcpySupervisor.h"
#include "platform/Clock.h"
#include "platform/Sleeper.h"
#include "support/EventLoop.h"
#include "support/PhoneProgramStart.h"
#include "support/PhoneWorld.h"

#include <QTemporaryDir>

#include <memory>

namespace lumarient::test {

// A phone with a notes app floating as a freeform window and a mail app full
// screen, real adb and scrcpy command lines answered by the phone simulator,
// and the app window manager over them.
struct AppWindowHarness : PhoneWorld {
    static inline const QString serial = QStringLiteral("R58M123ABC");
    static inline const QString notes = QStringLiteral("com.example.notes");
    static inline const QString mail = QStringLiteral("com.example.mail");
    static constexpr int notesTask = 42;
    static constexpr int mailTask = 43;

    AppWindowHarness()
    {
        phonesim::SimPhone phone = makePhone(serial, QStringLiteral("Pixel"));
        phone.packages[notes.toStdString()] = 1;
        phone.packages[mail.toStdString()] = 1;
        phone.tasks.push_back({notesTask, notes.toStdString(), 0, "freeform", 100, 200, 900, 1400});
        phone.tasks.push_back({mailTask, mail.toStdString(), 0, "fullscreen", 0, 0, 1080, 2400});
        sim_.addPhone(phone);
        // The phone-side archive the window watcher is pushed from.
        writeInputArchive(prefix_.filePath(QStringLiteral("share/lumarient/lumarient-input.jar")));
    }

    // Windows left open are closed, and their scrcpy children waited for.
    ~AppWindowHarness()
    {
        if (manager)
            manager->stopAll();
        spinUntil([&] { return scrcpy.runningCount() == 0; }, std::chrono::seconds(5));
    }

    AppWindowManager &make(WindowList *windows = nullptr, Sleeper &sleeper = ThreadSleeper::instance(),
                           std::unique_ptr<WindowDragWatcher> dragWatcher = {})
    {
        AppWindowManager::Dependencies dependencies{adb_, scrcpy, sleeper, SteadyClock::instance()};
        dependencies.makeWatcher = [this] {
            return std::make_unique<WindowWatcherClient>(
                WindowWatcherClient::Dependencies{paths_, defaults_, SteadyClock::instance(), prefix_.path()});
        };
        dependencies.dragWatcher = std::move(dragWatcher);
        dependencies.windows = windows;
        manager = std::make_unique<AppWindowManager>(std::move(dependencies));
        return *manager;
    }

    // What the phone's window watcher reports when the notes window is pushed
    // against the left edge.
    static DragEvent notesDrag() { return {notesTask, notes, DragEvent::Edge::left, 100, 200, 800, 1200, false}; }

    const AppWindow *window(int taskID) const
    {
        for (const AppWindow &window : manager->windows()) {
            if (window.id == taskID)
                return &window;
        }
        return nullptr;
    }

    // The adb commands the phone got, each joined by single spaces, without "-s SERIAL ".
    QStringList phoneCommands() const
    {
        QStringList commands;
        for (const QString &command : sim_.adbCommands()) {
            if (command.startsWith(QStringLiteral("-s ") + serial + QLatin1Char(' ')))
                commands.append(command.mid(serial.size() + 4));
        }
        return commands;
    }

    phonesim::SimTask task(int id) const
    {
        for (const phonesim::SimTask &task : sim_.phone(serial).tasks) {
            if (task.id == id)
                return task;
        }
        return {};
    }

    ScrcpySupervisor scrcpy{paths_};
    std::unique_ptr<AppWindowManager> manager;
};

} // namespace lumarient::test
