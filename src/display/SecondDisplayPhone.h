#pragma once

#include "tooling/ADB.h"

#include <QString>

#include <optional>

namespace lumarient {

class Companion;

// What the second display asks of the phone. Blocking `adb` work: called from
// background threads. Failures are swallowed.
class SecondDisplayPhone {
public:
    virtual ~SecondDisplayPhone() = default;
    virtual std::optional<ScreenSize> screenSize(const QString &serial) = 0;
    // The phone's port 38018 leads to the computer's port 38018.
    virtual void enableSecondDisplay(const QString &serial) = 0;
    virtual void launchDisplayReceiver(const QString &serial, int width, int height) = 0;
    virtual void stopDisplayReceiver(const QString &serial) = 0;
};

// The phone through `adb`: its screen size from the adb layer, the display
// receiver through the companion app.
class AdbSecondDisplayPhone final : public SecondDisplayPhone {
public:
    AdbSecondDisplayPhone(const ADB &adb, const Companion &companion) : adb_(adb), companion_(companion) {}
    std::optional<ScreenSize> screenSize(const QString &serial) override;
    void enableSecondDisplay(const QString &serial) override;
    void launchDisplayReceiver(const QString &serial, int width, int height) override;
    void stopDisplayReceiver(const QString &serial) override;

private:
    const ADB &adb_;
    const Companion &companion_;
};

} // namespace lumarient
