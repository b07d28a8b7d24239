#include "display/SecondDisplayPhone.h"

namespace lumarient {

namespace {
const QString sessionReceiver = QStringLiteral("com.corvantil.lumarient.companion/.SessionReceiver");
const QString displayActivity = QStringLiteral("com.corvantil.lumarient.companion/.DisplayActivity");
const QString displayStopAction = QStringLiteral("com.corvantil.lumarient.DISPLAY_STOP");
} // namespace

std::optional<ScreenSize> AdbSecondDisplayPhone::screenSize(const QString &serial)
{
    return adb_.screenSize(serial);
}

void AdbSecondDisplayPhone::enableSecondDisplay(const QString &serial)
{
    adb_.succeeds({QStringLiteral("-s"), serial, QStringLiteral("reverse"), QStringLiteral("tcp:38018"),
                   QStringLiteral("tcp:38018")});
}

void AdbSecondDisplayPhone::launchDisplayReceiver(const QString &serial, int width, int height)
{
    adb_.succeeds({QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("am"), QStringLiteral("start"),
                   QStringLiteral("-n"), displayActivity, QStringLiteral("--ei"), QStringLiteral("w"),
                   QString::number(width), QStringLiteral("--ei"), QStringLiteral("h"), QString::number(height)});
}

void AdbSecondDisplayPhone::stopDisplayReceiver(const QString &serial)
{
    adb_.succeeds({QStringLiteral("-s"), serial, QStringLiteral("shell"), QStringLiteral("am"),
                   QStringLiteral("broadcast"), QStringLiteral("-n"), sessionReceiver, QStringLiteral("-a"),
                   displayStopAction});
}

} // namespace lumarient
