#include "tooling/AdbDeviceTracker.h"

#include "tooling/AdbWire.h"
#include "tooling/DeviceListParser.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace lumarient {

AdbDeviceTracker::AdbDeviceTracker(std::uint16_t port, QObject *parent) : AdbDeviceTracker(port, Timing{}, parent)
{
}

AdbDeviceTracker::AdbDeviceTracker(std::uint16_t port, Timing timing, QObject *parent)
    : QObject(parent), port_(port), timing_(timing), socket_(new QTcpSocket(this))
{
    retry_.setSingleShot(true);
    retry_.setInterval(timing_.retryInterval);
    connect(&retry_, &QTimer::timeout, this, &AdbDeviceTracker::connectNow);
    stall_.setSingleShot(true);
    stall_.setInterval(timing_.stallLimit);
    connect(&stall_, &QTimer::timeout, this, &AdbDeviceTracker::drop);
    connect(socket_, &QTcpSocket::connected, this, &AdbDeviceTracker::onConnected);
    connect(socket_, &QTcpSocket::readyRead, this, &AdbDeviceTracker::onReadable);
    connect(socket_, &QTcpSocket::errorOccurred, this, &AdbDeviceTracker::drop);
    connect(socket_, &QTcpSocket::disconnected, this, &AdbDeviceTracker::drop);
}

AdbDeviceTracker::~AdbDeviceTracker()
{
    // No more signals into a half-destroyed tracker.
    socket_->disconnect(this);
    socket_->abort();
}

void AdbDeviceTracker::start()
{
    if (socket_->state() == QAbstractSocket::UnconnectedState && !retry_.isActive())
        connectNow();
}

void AdbDeviceTracker::connectNow()
{
    buffer_.clear();
    tracking_ = false;
    stall_.start();
    socket_->connectToHost(QHostAddress::LocalHost, port_);
}

void AdbDeviceTracker::onConnected()
{
    socket_->write(*adbwire::request("host:track-devices-l"));
}

void AdbDeviceTracker::onReadable()
{
    buffer_.append(socket_->readAll());
    if (!tracking_) {
        const adbwire::Status status = adbwire::takeStatus(buffer_);
        if (status.take == adbwire::Take::incomplete)
            return;
        if (status.take == adbwire::Take::malformed || !status.okay) {
            drop();
            return;
        }
        tracking_ = true;
    }
    for (;;) {
        adbwire::Block block = adbwire::takeBlock(buffer_);
        if (block.take == adbwire::Take::malformed) {
            drop();
            return;
        }
        if (block.take == adbwire::Take::incomplete)
            break;
        emit listed(parseDeviceLines(QString::fromUtf8(block.data)));
        // A slot may have deleted or restarted the connection.
        if (!tracking_)
            return;
    }
    if (buffer_.isEmpty())
        stall_.stop();
    else if (!stall_.isActive())
        stall_.start();
}

void AdbDeviceTracker::drop()
{
    if (retry_.isActive())
        return;
    const bool wasTracking = tracking_;
    tracking_ = false;
    stall_.stop();
    buffer_.clear();
    socket_->abort();
    retry_.start();
    if (wasTracking)
        emit lost();
}

} // namespace lumarient
