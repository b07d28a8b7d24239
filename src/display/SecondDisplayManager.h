#pragma once

#include "display/DisplayStreamer.h"
#include "model/ConnectedDevice.h"
#include "tooling/ADB.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <memory>
#include <mutex>
#include <optional>

namespace lumarient {

class SecondDisplayPhone;
class VirtualDisplay;
class VirtualMonitorAttempt;
class VirtualMonitorFactory;

// "Use as Second Display" from start to stop, for one phone at a time: sizes and
// creates the virtual display, starts the streamer, has the phone open its
// display receiver, and tears it all down again. Main thread only. Everything
// that may wait (`adb`, the desktop's permission dialog, the first picture, the
// encoder) runs in the background and reports back here; a start that is
// stopped meanwhile is cut short and what it made is removed unseen. When the
// desktop ends the display by itself, the feature turns off as by `stop`.
class SecondDisplayManager : public QObject {
    Q_OBJECT
public:
    struct Platform {
        VirtualMonitorFactory *monitors = nullptr;
        DisplayStreamer::Platform streaming;
    };

    static constexpr const char *displayName = "Lumarient Display";

    SecondDisplayManager(Platform platform, SecondDisplayPhone &phone, QObject *parent = nullptr);
    ~SecondDisplayManager() override;

    // The phone that uses the second display; absent while the feature is off.
    const std::optional<QString> &activeSerial() const { return activeSerial_; }
    // The last failure, shown to the user until the next `start` clears it.
    const std::optional<QString> &lastError() const { return lastError_; }
    // True from `start` until the display and its stream exist or the start
    // fails (nothing is published yet, but a second phone is already turned away).
    bool isStarting() const { return startingSerial_.has_value(); }
    // The display while the feature is on (for diagnostics and tests).
    std::shared_ptr<VirtualDisplay> display() const { return display_; }
    DisplayStreamer *streamer() const { return streamer_.get(); }

    void start(const ConnectedDevice &device);
    void stop();

signals:
    // Any published state changed.
    void changed();
    // The start finished: the phone's receiver was asked to open (or the start failed).
    void startFinished();

private:
    struct Launch;
    struct Relay;

    // Off the main thread: sizes, creates the display and starts its stream.
    static void prepare(Launch &launch, const Platform &platform, SecondDisplayPhone &phone,
                        const std::shared_ptr<VirtualMonitorAttempt> &attempt, const std::shared_ptr<Relay> &relay,
                        std::uint64_t generation);
    void finishStart(std::uint64_t generation, const std::shared_ptr<Launch> &launch);
    void displayEnded(std::uint64_t generation);

    Platform platform_;
    SecondDisplayPhone &phone_;
    std::optional<QString> activeSerial_;
    std::optional<QString> lastError_;
    std::optional<QString> startingSerial_;
    // The start in progress, so that stop and quit can end its waits.
    std::shared_ptr<VirtualMonitorAttempt> attempt_;
    std::shared_ptr<VirtualDisplay> display_;
    std::unique_ptr<DisplayStreamer> streamer_;
    // Each start gets a number so that a late answer for a stopped start is ignored.
    std::uint64_t generation_ = 0;
    // Reaches this object from other threads while it exists.
    std::shared_ptr<Relay> relay_;
    // One start prepares at a time: a stopped one leaves the port and the
    // display to the next only once it has let go of them.
    std::mutex preparing_;
    // Last: the manager's background work (which uses the phone it was given)
    // has finished before anything else of it goes.
    QThreadPool pool_;
};

} // namespace lumarient
