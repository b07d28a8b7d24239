#pragma once

#include "platform/DisplayRect.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace lumarient {

class DisplayLayout;
class WindowListCache;

// Notices when a watched desktop window (an app brought over from the phone)
// is dropped onto the display that stands for the phone, by sampling the
// windows' positions a few times a second while it runs. Main thread only.
class WindowDragWatcher : public QObject {
    Q_OBJECT
public:
    using DropHandler = std::function<void(std::int32_t pid)>;
    // The display standing for the phone during keyboard-and-mouse sharing, if any.
    using StandInDisplay = std::function<std::optional<std::uint32_t>()>;

    static constexpr std::chrono::milliseconds sampleInterval{150};
    // Windows smaller than this in either direction are never taken as dropped.
    static constexpr int minimumWindowSize = 200;

    WindowDragWatcher(WindowListCache &windows, DisplayLayout &layout, StandInDisplay standInDisplayID,
                      QObject *parent = nullptr);

    // Watches the window titled `title` of process `pid` (one window per process).
    void watch(std::int32_t pid, const QString &title);
    const std::map<std::int32_t, QString> &watched() const { return watched_; }

    // Starts sampling unless already running; a running watcher keeps its first handler.
    void start(DropHandler onDrop);
    // Stops watching one process's window.
    void unwatch(std::int32_t pid);
    // Stops sampling and forgets every window and the handler.
    void stop();
    bool isRunning() const { return timer_.isActive(); }

    // Whether a window at `frame` counts as dropped onto the phone's display at
    // `phone` beside the main display at `main`: at least half of it overlaps
    // along the axis on which the two displays sit.
    static bool isDropped(const DisplayRect &frame, const DisplayRect &phone, const DisplayRect &main);

private:
    void sample();
    std::optional<DisplayRect> windowFrame(std::int32_t pid, const QString &title);
    std::optional<DisplayRect> mainDisplayBounds(std::uint32_t standInID);

    WindowListCache &windows_;
    DisplayLayout &layout_;
    StandInDisplay standInDisplayID_;
    QTimer timer_;
    std::map<std::int32_t, QString> watched_;
    DropHandler onDrop_;
};

} // namespace lumarient
