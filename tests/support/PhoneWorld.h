#pragma once

#include "platform/UserDefaults.h"
#include "support/PhoneSim.h"
#include "support/RecordingSleeper.h"
#include "tooling/ADB.h"
#include "tooling/ToolPaths.h"

#include <QTemporaryDir>

namespace lumarient::test {

// Simulated phones as the app reaches them: settings of their own that point the
// tool paths at the simulator, an install prefix, and the real ADB layer whose
// sleeps return at once.
class PhoneWorld {
public:
    explicit PhoneWorld(std::chrono::milliseconds commandTimeLimit = Shell::defaultTimeLimit);

    // How many adb runs contained `fragment`.
    int count(const QString &fragment) const;
    void unplug(const QString &serial);
    // Puts the phone on the network as adb would after `tcpip` and `connect`.
    QString connectOverWifi(const QString &serial, int port = 5555);
    bool hasOverlaySetting(const QString &serial) const
    {
        return sim_.phone(serial).settings.count("global.overlay_display_devices") > 0;
    }
    // The companion app in the install prefix; returns its path.
    QString writeCompanionApk(int versionCode = 6);

    PhoneSim sim_;
    QTemporaryDir settingsDir_;
    QTemporaryDir prefix_;
    UserDefaults defaults_{settingsDir_.filePath(QStringLiteral("Lumarient.conf"))};
    ToolPaths paths_{defaults_, prefix_.path()};
    RecordingSleeper adbSleeper_;
    ADB adb_;
};

} // namespace lumarient::test
