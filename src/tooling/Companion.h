#pragma once

#include <QString>

#include <optional>

namespace lumarient {

class ADB;
class ToolPaths;

// Installs and drives the phone-side companion app. Every operation blocks for
// its adb commands and swallows their failures: the companion is a convenience,
// and nothing the user asked for depends on one of these commands succeeding.
// Holds no state of its own, so any thread may use it.
class Companion {
public:
    Companion(const ToolPaths &paths, const ADB &adb);

    static QString packageName() { return QStringLiteral("com.corvantil.lumarient.companion"); }
    static QString sessionReceiver() { return QStringLiteral("com.corvantil.lumarient.companion/.SessionReceiver"); }
    static QString displayActivity() { return QStringLiteral("com.corvantil.lumarient.companion/.DisplayActivity"); }
    static QString sessionAction() { return QStringLiteral("com.corvantil.lumarient.SESSION"); }
    static QString displayStopAction() { return QStringLiteral("com.corvantil.lumarient.DISPLAY_STOP"); }
    static constexpr int minimumVersionCode = 6;
    static constexpr int transferPort = 38017;
    static constexpr int secondDisplayPort = 38018;

    // The APK inside the installation, else the development build under the
    // working directory; absent when neither exists.
    std::optional<QString> apkPath() const;
    std::optional<int> installedVersion(const QString &serial) const;
    // Installed, and allowed to write secure settings.
    bool isReady(const QString &serial) const;
    // Installs or updates the app when needed, grants its permissions and resets
    // it to the no-session state.
    void ensure(const QString &serial) const;
    // `transport` is "wifi" or "usb", sent only with the "started" state.
    void notifySession(const QString &serial, const QString &state,
                       const std::optional<QString> &transport = std::nullopt) const;
    void enableTransfer(const QString &serial) const;
    void enableSecondDisplay(const QString &serial) const;
    void launchDisplayReceiver(const QString &serial, int width, int height) const;
    void stopDisplayReceiver(const QString &serial) const;

private:
    std::optional<QString> packageDump(const QString &serial) const;
    void reverse(const QString &serial, int port) const;

    const ToolPaths &paths_;
    const ADB &adb_;
};

} // namespace lumarient
