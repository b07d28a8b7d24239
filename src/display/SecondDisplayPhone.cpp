#include "display/SecondDisplayPhone.h"

#include "tooling/Companion.h"

namespace lumarient {

std::optional<ScreenSize> AdbSecondDisplayPhone::screenSize(const QString &serial)
{
    return adb_.screenSize(serial);
}

void AdbSecondDisplayPhone::enableSecondDisplay(const QString &serial)
{
    companion_.enableSecondDisplay(serial);
}

void AdbSecondDisplayPhone::launchDisplayReceiver(const QString &serial, int width, int height)
{
    companion_.launchDisplayReceiver(serial, width, height);
}

void AdbSecondDisplayPhone::stopDisplayReceiver(const QString &serial)
{
    companion_.stopDisplayReceiver(serial);
}

} // namespace lumarient
