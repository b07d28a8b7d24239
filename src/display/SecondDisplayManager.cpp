#include "display/SecondDisplayManager.h"

#include "display/SecondDisplayPhone.h"
#include "display/SecondDisplaySizing.h"
#include "display/VirtualDisplay.h"
#include "model/LumarientError.h"

#include <QPointer>
#include <QThreadPool>

namespace lumarient {

SecondDisplayManager::SecondDisplayManager(Platform platform, SecondDisplayPhone &phone, QObject *parent)
    : QObject(parent), platform_(std::move(platform)), phone_(phone)
{
}

SecondDisplayManager::~SecondDisplayManager()
{
    if (streamer_) {
        streamer_->stop();
    }
}

void SecondDisplayManager::start(const ConnectedDevice &device)
{
    if (activeSerial_ || sizingSerial_) {
        return;
    }
    // The menu shows the last failure until the user tries again.
    if (lastError_) {
        lastError_.reset();
        emit changed();
    }
    const QString serial = device.serial;
    const bool overWifi = device.isWifi;
    const std::uint64_t generation = ++generation_;
    sizingSerial_ = serial;
    QPointer<SecondDisplayManager> self(this);
    SecondDisplayPhone *phone = &phone_;
    pool_.start([self, phone, serial, overWifi, generation] {
        const ScreenSize size = secondDisplaySize(phone->screenSize(serial), overWifi);
        QMetaObject::invokeMethod(
            self.data(),
            [self, serial, overWifi, size, generation] {
                if (self && self->generation_ == generation && self->sizingSerial_ == serial) {
                    self->sizingSerial_.reset();
                    self->startWithSize(serial, overWifi, size);
                }
            },
            Qt::QueuedConnection);
    });
}

void SecondDisplayManager::startWithSize(const QString &serial, bool overWifi, ScreenSize size)
{
    std::shared_ptr<VirtualDisplay> display =
        platform_.monitors != nullptr ? VirtualDisplay::create(*platform_.monitors, QString::fromLatin1(displayName),
                                                               size.width, size.height, 60.0)
                                      : nullptr;
    if (display == nullptr) {
        const QString reason = platform_.monitors != nullptr ? platform_.monitors->lastFailure() : QString();
        lastError_ =
            reason.isEmpty() ? QStringLiteral("Second-display support isn't available on this desktop.") : reason;
        emit changed();
        emit startFinished();
        return;
    }
    display_ = display;
    streamer_ = std::make_unique<DisplayStreamer>(display, overWifi, platform_.streaming);
    activeSerial_ = serial;
    emit changed();

    try {
        streamer_->startListener();
        streamer_->startCapture();
    } catch (const LumarientError &error) {
        lastError_ = QStringLiteral("Couldn't start the display stream: ") + error.description();
        stop();
        emit startFinished();
        return;
    }
    // The phone's receiver is opened only now, so it finds the computer listening.
    QPointer<SecondDisplayManager> self(this);
    SecondDisplayPhone *phone = &phone_;
    pool_.start([self, phone, serial, size] {
        phone->enableSecondDisplay(serial);
        phone->launchDisplayReceiver(serial, size.width, size.height);
        QMetaObject::invokeMethod(
            self.data(),
            [self] {
                if (self) {
                    emit self->startFinished();
                }
            },
            Qt::QueuedConnection);
    });
}

void SecondDisplayManager::stop()
{
    sizingSerial_.reset();
    ++generation_;
    const bool wasOn = activeSerial_.has_value();
    if (activeSerial_) {
        SecondDisplayPhone *phone = &phone_;
        const QString serial = *activeSerial_;
        pool_.start([phone, serial] { phone->stopDisplayReceiver(serial); });
    }
    if (streamer_) {
        streamer_->stop();
        streamer_.reset();
    }
    display_.reset();
    activeSerial_.reset();
    if (wasOn) {
        emit changed();
    }
}

} // namespace lumarient
