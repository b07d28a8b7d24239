#include "display/SecondDisplayManager.h"

#include "display/SecondDisplayPhone.h"
#include "display/SecondDisplaySizing.h"
#include "display/VirtualDisplay.h"
#include "model/LumarientError.h"
#include "platform/Log.h"

#include <QPointer>
#include <QThreadPool>

namespace lumarient {

// What a start made in the background, handed to the main thread whole.
struct SecondDisplayManager::Launch {
    QString serial;
    bool overWifi = false;
    ScreenSize size;
    std::shared_ptr<VirtualDisplay> display;
    std::unique_ptr<DisplayStreamer> streamer;
    // Set when the start failed; nothing else is kept then.
    std::optional<QString> error;
    // The stream could not start after the display existed: the phone is told
    // to stop its receiver, as a stop would.
    bool streamFailed = false;

    void tearDown()
    {
        if (streamer) {
            streamer->stop();
            streamer.reset();
        }
        display.reset();
    }
};

// Queues calls to the manager from other threads until the manager goes.
struct SecondDisplayManager::Relay {
    std::mutex mutex;
    SecondDisplayManager *manager = nullptr;

    template <typename Call> void post(Call call)
    {
        std::lock_guard lock(mutex);
        if (manager != nullptr) {
            QMetaObject::invokeMethod(
                manager, [target = manager, call = std::move(call)]() mutable { call(*target); }, Qt::QueuedConnection);
        }
    }

    void detach()
    {
        std::lock_guard lock(mutex);
        manager = nullptr;
    }
};

SecondDisplayManager::SecondDisplayManager(Platform platform, SecondDisplayPhone &phone, QObject *parent)
    : QObject(parent), platform_(std::move(platform)), phone_(phone), relay_(std::make_shared<Relay>())
{
    relay_->manager = this;
}

SecondDisplayManager::~SecondDisplayManager()
{
    relay_->detach();
    ++generation_;
    // A start still waiting for the desktop gives up, so the pool's wait below is short.
    if (attempt_) {
        attempt_->cancel();
    }
    if (streamer_) {
        streamer_->stop();
    }
}

void SecondDisplayManager::start(const ConnectedDevice &device)
{
    if (activeSerial_ || startingSerial_) {
        return;
    }
    // The menu shows the last failure until the user tries again.
    if (lastError_) {
        lastError_.reset();
        emit changed();
    }
    auto launch = std::make_shared<Launch>();
    launch->serial = device.serial;
    launch->overWifi = device.isWifi;
    const std::uint64_t generation = ++generation_;
    startingSerial_ = device.serial;
    attempt_ = std::make_shared<VirtualMonitorAttempt>();
    pool_.start([this, platform = platform_, phone = &phone_, attempt = attempt_, relay = relay_, launch, generation] {
        std::lock_guard one(preparing_);
        prepare(*launch, platform, *phone, attempt, relay, generation);
        // Stopped meanwhile: nothing of it is ever seen.
        if (attempt->isCancelled()) {
            launch->tearDown();
            return;
        }
        relay->post([generation, launch](SecondDisplayManager &manager) { manager.finishStart(generation, launch); });
    });
}

void SecondDisplayManager::prepare(Launch &launch, const Platform &platform, SecondDisplayPhone &phone,
                                   const std::shared_ptr<VirtualMonitorAttempt> &attempt,
                                   const std::shared_ptr<Relay> &relay, std::uint64_t generation)
{
    launch.size = secondDisplaySize(phone.screenSize(launch.serial), launch.overWifi);
    if (attempt->isCancelled()) {
        return;
    }
    if (platform.monitors != nullptr) {
        launch.display = VirtualDisplay::create(*platform.monitors, QString::fromLatin1(displayName), launch.size.width,
                                                launch.size.height, 60.0, attempt);
    }
    if (launch.display == nullptr) {
        const QString reason = attempt->failure();
        launch.error =
            reason.isEmpty() ? QStringLiteral("Second-display support isn't available on this desktop.") : reason;
        return;
    }
    if (attempt->isCancelled()) {
        return;
    }
    launch.display->setEndedHandler([relay, generation] {
        relay->post([generation](SecondDisplayManager &manager) { manager.displayEnded(generation); });
    });
    launch.streamer = std::make_unique<DisplayStreamer>(launch.display, launch.overWifi, platform.streaming);
    try {
        launch.streamer->startListener();
        launch.streamer->startCapture();
    } catch (const LumarientError &error) {
        launch.error = QStringLiteral("Couldn't start the display stream: ") + error.description();
        launch.streamFailed = true;
        launch.tearDown();
    }
}

void SecondDisplayManager::finishStart(std::uint64_t generation, const std::shared_ptr<Launch> &launch)
{
    if (generation != generation_) {
        launch->tearDown();
        return;
    }
    startingSerial_.reset();
    attempt_.reset();
    const QString serial = launch->serial;
    if (launch->error) {
        lastError_ = launch->error;
        if (launch->streamFailed) {
            SecondDisplayPhone *phone = &phone_;
            pool_.start([phone, serial] { phone->stopDisplayReceiver(serial); });
        }
        emit changed();
        emit startFinished();
        return;
    }
    display_ = std::move(launch->display);
    streamer_ = std::move(launch->streamer);
    activeSerial_ = serial;
    emit changed();

    // The phone's receiver is opened only now, so it finds the computer listening.
    QPointer<SecondDisplayManager> self(this);
    SecondDisplayPhone *phone = &phone_;
    const ScreenSize size = launch->size;
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

void SecondDisplayManager::displayEnded(std::uint64_t generation)
{
    if (generation != generation_ || (!activeSerial_ && !startingSerial_)) {
        return;
    }
    // The user stopped the sharing in the desktop's own controls: no error to show.
    logLine(QStringLiteral("Lumarient"), QStringLiteral("The desktop ended the second display; turning it off"));
    stop();
}

void SecondDisplayManager::stop()
{
    startingSerial_.reset();
    if (attempt_) {
        attempt_->cancel();
        attempt_.reset();
    }
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
