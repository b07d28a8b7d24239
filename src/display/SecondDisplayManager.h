#pragma once

#include "model/ConnectedDevice.h"
#include "display/DisplayStreamer.h"
#include "tooling/ADB.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <memory>
#include <optional>

namespace lumarient {

class SecondDisplayPhone;
class VirtualDisplay;
class VirtualMonitorFactory;

// "Use as Second Display" from start to stop, for one phone at a time: sizes and
// creates the virtual display, starts the streamer, has the phone open its
// display receiver, and tears it all down again. Main thread only; `adb` work
// runs in the background and reports back here.
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
    // True from `start` until the phone's screen size is known (the display does
    // not exist yet, but a second phone is already turned away).
    bool isSizing() const { return sizingSerial_.has_value(); }
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
    void startWithSize(const QString &serial, bool overWifi, ScreenSize size);

    Platform platform_;
    SecondDisplayPhone &phone_;
    std::optional<QString> activeSerial_;
    std::optional<QString> lastError_;
    std::optional<QString> sizingSerial_;
    std::shared_ptr<VirtualDisplay> display_;
    std::unique_ptr<DisplayStreamer> streamer_;
    // Each start gets a number so that a late answer for a stopped start is ignored.
    std::uint64_t generation_ = 0;
    // Last: the manager's background work (which uses the phone it was given)
    // has finished before anything else of it goes.
    QThreadPool pool_;
};

} // namespace lumarient
