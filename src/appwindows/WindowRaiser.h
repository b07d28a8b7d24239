#pragma once

#include <QObject>
#include <QPointer>
#include <QProcess>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QTimer;

namespace lumarient {

class WindowList;

// Brings a child process's desktop window to the front once the window manager
// lists it. A window that waits for its first frame before it shows is waited
// for through the list's change notifications, up to a limit, not by polling.
// Main thread only.
class WindowRaiser : public QObject {
    Q_OBJECT
public:
    // As long as 40 tries 0.05 s apart would take.
    static constexpr std::chrono::milliseconds defaultLimit{2000};

    explicit WindowRaiser(WindowList &windows, QObject *parent = nullptr);
    ~WindowRaiser() override;

    // Raises the first window of `process` as soon as there is one. Gives up
    // when the process ends or `limit` passes. `done` gets the raised window.
    void raise(QPointer<QProcess> process, std::function<void(std::optional<std::uint32_t>)> done = {},
               std::chrono::milliseconds limit = defaultLimit);
    // The window of `pid` in front of all its others, if the desktop shows one.
    std::optional<std::uint32_t> windowOf(std::int64_t pid) const;
    bool isWaiting() const { return !pending_.empty(); }

private:
    struct Pending {
        std::uint64_t token = 0;
        QPointer<QProcess> process;
        std::int64_t pid = 0;
        QTimer *limit = nullptr;
        QMetaObject::Connection ended;
        std::function<void(std::optional<std::uint32_t>)> done;
    };

    void check();
    void finish(std::uint64_t token, std::optional<std::uint32_t> window);
    void listen(bool on);

    WindowList &windows_;
    std::vector<Pending> pending_;
    std::uint64_t nextToken_ = 1;
};

} // namespace lumarient
