#include "appwindows/WindowRaiser.h"

#include "platform/WindowList.h"

#include <QTimer>

#include <algorithm>

namespace lumarient {

WindowRaiser::WindowRaiser(WindowList &windows, QObject *parent) : QObject(parent), windows_(windows)
{
}

WindowRaiser::~WindowRaiser()
{
    if (!pending_.empty())
        windows_.onChanged(nullptr);
}

std::optional<std::uint32_t> WindowRaiser::windowOf(std::int64_t pid) const
{
    const std::optional<QList<WindowInfo>> list = windows_.onScreenWindows();
    if (!list || pid <= 0)
        return std::nullopt;
    for (const WindowInfo &window : *list) {
        if (window.pid == pid)
            return window.id;
    }
    return std::nullopt;
}

void WindowRaiser::raise(QPointer<QProcess> process, std::function<void(std::optional<std::uint32_t>)> done,
                         std::chrono::milliseconds limit)
{
    if (!process || process->state() == QProcess::NotRunning) {
        if (done)
            done(std::nullopt);
        return;
    }
    Pending pending;
    pending.token = nextToken_++;
    pending.process = process;
    pending.pid = process->processId();
    pending.done = std::move(done);
    pending.limit = new QTimer(this);
    pending.limit->setSingleShot(true);
    const std::uint64_t token = pending.token;
    connect(pending.limit, &QTimer::timeout, this, [this, token] { finish(token, std::nullopt); });
    pending.ended = connect(process.data(), &QProcess::finished, this, [this, token] { finish(token, std::nullopt); });
    pending.limit->start(limit);
    pending_.push_back(std::move(pending));
    listen(true);
    // It may be on screen already.
    check();
}

void WindowRaiser::check()
{
    // Copies of the tokens: finishing one changes the list.
    std::vector<std::pair<std::uint64_t, std::int64_t>> waiting;
    for (const Pending &pending : pending_)
        waiting.emplace_back(pending.token, pending.pid);
    for (const auto &[token, pid] : waiting) {
        if (const std::optional<std::uint32_t> window = windowOf(pid)) {
            windows_.activate(*window);
            finish(token, window);
        }
    }
}

void WindowRaiser::finish(std::uint64_t token, std::optional<std::uint32_t> window)
{
    const auto found =
        std::find_if(pending_.begin(), pending_.end(), [token](const Pending &p) { return p.token == token; });
    if (found == pending_.end())
        return;
    Pending pending = std::move(*found);
    pending_.erase(found);
    pending.limit->deleteLater();
    disconnect(pending.ended);
    if (pending_.empty())
        listen(false);
    if (pending.done)
        pending.done(window);
}

void WindowRaiser::listen(bool on)
{
    if (on)
        windows_.onChanged([this] { check(); });
    else
        windows_.onChanged(nullptr);
}

} // namespace lumarient
