#pragma once

#include "platform/FileDescriptor.h"
#include "platform/portal/PortalRequest.h"

#include <QString>
#include <QVariantList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace lumarient::portal {

class SessionEndWatcher;

// One portal session that made a virtual monitor: a remote-desktop session with
// its screen cast where the portal has one (pointer events then reach the
// monitor), a plain screen cast otherwise. Closing it (or destroying it) removes
// the monitor.
class ScreenCastSession {
public:
    struct Options {
        int width = 0;
        int height = 0;
        // From an earlier session, so the desktop need not ask again.
        QString restoreToken;
        // The user may take a while over the permission dialog.
        std::chrono::milliseconds answerLimit = std::chrono::seconds(90);
        // Ends the start early from another thread (may be null).
        Cancellation *cancellation = nullptr;
    };

    // The session, or why there is none (a sentence for the user).
    struct Started {
        std::unique_ptr<ScreenCastSession> session;
        QString failure;
    };
    static Started start(PortalRequester &requester, const Options &options);

    ~ScreenCastSession();
    ScreenCastSession(const ScreenCastSession &) = delete;
    ScreenCastSession &operator=(const ScreenCastSession &) = delete;

    std::uint32_t nodeID() const { return nodeID_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool hasPointer() const { return remoteDesktop_; }
    // A new one when the desktop handed one out; empty otherwise.
    const QString &restoreToken() const { return restoreToken_; }

    // A new connection to the PipeWire daemon that serves this session's stream.
    FileDescriptor openPipeWireRemote();
    // Pointer events in the stream's own coordinates; sent without waiting.
    void movePointer(double x, double y);
    void pressLeftButton(bool pressed);
    // `ended` runs once, on the requester's signal thread, when the desktop
    // ends the session by itself; never after `close` or destruction.
    void setEndedHandler(std::function<void()> ended);

    void close();

private:
    ScreenCastSession(PortalRequester &requester, QString handle, bool remoteDesktop);
    // A remote-desktop pointer event: the session's handle, no options, then `arguments`.
    void notifyPointer(const QString &method, const QVariantList &arguments);

    PortalRequester &requester_;
    QString handle_;
    bool remoteDesktop_;
    std::atomic<bool> closed_{false};
    SessionEndWatcher *endWatcher_;
    std::uint32_t nodeID_ = 0;
    int width_ = 0;
    int height_ = 0;
    QString restoreToken_;
};

} // namespace lumarient::portal
