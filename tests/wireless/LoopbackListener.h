#pragma once

#include <QString>

namespace lumarient::test {

// A TCP listener on a loopback address, for probes to find.
class LoopbackListener {
public:
    // Listens on `host`:`port`; port 0 picks a free one.
    LoopbackListener(const QString &host, int port);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener &) = delete;
    LoopbackListener &operator=(const LoopbackListener &) = delete;

    int port() const { return port_; }

    // Fills the accept queue so that further connection attempts get no answer
    // at all: the kernel drops their SYNs, as a silent host would.
    void stopAnswering();

private:
    int fd_ = -1;
    int port_ = 0;
    int fillers_[4] = {-1, -1, -1, -1};
};

// A loopback port that nobody listens on (connections are refused).
int refusedPort(const QString &host);

} // namespace lumarient::test
