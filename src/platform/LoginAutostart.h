#pragma once

#include <QString>

namespace lumarient {

// Whether the app starts when the user logs in, kept as the desktop's own
// autostart entry (XDG autostart: "lumarient.desktop" in the autostart folder),
// so the desktop's session settings show and change the same choice.
class LoginAutostart {
public:
    // `executable` is what the entry runs.
    LoginAutostart(QString autostartFolder, QString executable);
    // $XDG_CONFIG_HOME/autostart, else ~/.config/autostart.
    static QString defaultFolder();

    // An entry exists and the user has not switched it off in it.
    bool isEnabled() const;
    // Writes (atomically) or removes the entry; false when that failed.
    bool setEnabled(bool enabled) const;

    QString entryPath() const;

private:
    QString folder_;
    QString executable_;
};

} // namespace lumarient
