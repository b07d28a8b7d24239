#pragma once

#include "model/ConnectedDevice.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>

class QTcpSocket;

namespace lumarient {

// Keeps one connection to the adb server that tracks the device list, so a
// phone that comes or goes is seen as soon as the server knows. Lives on the
// thread that made it (the main thread) and never blocks it: the socket is
// asynchronous, a connection that stalls mid-answer is dropped, and a lost
// or refused connection is tried again after `retryInterval`.
class AdbDeviceTracker : public QObject {
    Q_OBJECT

public:
    struct Timing {
        std::chrono::milliseconds retryInterval = std::chrono::milliseconds(2000);
        // How long an answer may stay half-read, or a connection half-made.
        std::chrono::milliseconds stallLimit = std::chrono::milliseconds(5000);
    };

    explicit AdbDeviceTracker(std::uint16_t port, Timing timing, QObject *parent = nullptr);
    explicit AdbDeviceTracker(std::uint16_t port, QObject *parent = nullptr);
    ~AdbDeviceTracker() override;

    void start();
    // The server has accepted the tracking request and the connection is open.
    bool isTracking() const { return tracking_; }

signals:
    // A listing the server pushed: the first one after connecting, then each change.
    void listed(const QList<lumarient::ConnectedDevice> &devices);
    // The tracking connection was lost or could not be made.
    void lost();

private:
    void connectNow();
    void onConnected();
    void onReadable();
    void drop();

    std::uint16_t port_;
    Timing timing_;
    QTcpSocket *socket_;
    QTimer retry_;
    QTimer stall_;
    QByteArray buffer_;
    bool tracking_ = false;
};

} // namespace lumarient
