#pragma once

#include <QObject>

#include <functional>
#include <mutex>

namespace lumarient::portal {

// Takes a portal session's Closed signal, which the desktop sends when it ends
// the session by itself (the user stopped sharing), and passes it on once.
// Lives on the requester's signal thread; the other operations are for any thread.
class SessionEndWatcher : public QObject {
    Q_OBJECT
public:
    // Replaces the handler; runs it at once when the session has already ended.
    void setHandler(std::function<void()> handler);
    // This side closed the session: nothing is passed on from now on.
    void closedHere();

public slots:
    void closed();

private:
    std::mutex mutex_;
    bool ended_ = false;
    bool closedHere_ = false;
    std::function<void()> handler_;
};

} // namespace lumarient::portal
