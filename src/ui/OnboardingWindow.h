#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace lumarient {

class DeviceManager;
class UserDefaults;

// "Welcome to Lumarient": guides a first-time user to a phone on adb and shows
// live whether one has been seen. Made once and kept; closing it by any means
// records "hasCompletedOnboarding".
class OnboardingWindow : public QWidget {
    Q_OBJECT
public:
    // `openPairing` shows the wireless pairing sheet over this window.
    OnboardingWindow(DeviceManager &manager, UserDefaults &defaults, std::function<void(QWidget *)> openPairing,
                     QWidget *parent = nullptr);

    // Brings the window to the front, showing it if hidden.
    void present();

    QLabel *statusLabel() const { return statusText_; }
    QPushButton *doneButton() const { return done_; }
    QPushButton *skipButton() const { return skip_; }
    QPushButton *connectWirelesslyButton() const { return connectWirelessly_; }

signals:
    // The window was closed, by any means.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void updateStatus();

    DeviceManager &manager_;
    UserDefaults &defaults_;
    QLabel *statusIcon_;
    QLabel *statusText_;
    QPushButton *connectWirelessly_;
    QPushButton *skip_;
    QPushButton *done_;
};

} // namespace lumarient
