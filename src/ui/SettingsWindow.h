#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QVBoxLayout;

namespace lumarient {

class DeviceConfigRow;
class DeviceManager;
class LoginAutostart;
class SeamlessInputManager;

// "Lumarient Settings": the saved phones, edited in place, and whether the app
// starts at login. Made once and kept; closing only hides it.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    // With `keyboardMouse`, each phone also shows its pointer speed on the phone.
    SettingsWindow(DeviceManager &manager, const LoginAutostart &autostart,
                   SeamlessInputManager *keyboardMouse = nullptr, QWidget *parent = nullptr);

    // Brings the window to the front, showing it if hidden.
    void present();

    QList<DeviceConfigRow *> rows() const { return rows_; }
    QCheckBox *startAtLogin() const { return startAtLogin_; }

private:
    void rebuild();

    DeviceManager &manager_;
    SeamlessInputManager *keyboardMouse_;
    QLabel *emptyText_;
    QLabel *removalNote_;
    QVBoxLayout *rowsLayout_;
    QCheckBox *startAtLogin_;
    QList<DeviceConfigRow *> rows_;
};

} // namespace lumarient
