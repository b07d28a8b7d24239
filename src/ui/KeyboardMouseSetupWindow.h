#pragma once

#include "input/StandInPlacement.h"

#include <QTimer>
#include <QWidget>

class QButtonGroup;
class QLabel;
class QPushButton;

namespace lumarient {

class SeamlessInputManager;
class UserDefaults;

// "Keyboard & Mouse Setup": whether the keyboard and mouse can be watched, and
// on which side of the main display the phone sits (chosen here, since the
// desktop's display settings do not show the stand-in display). Re-checks both
// once a second while shown. Made once and kept; closing it by any means
// records "hasSeenKeyboardMouseSetup".
class KeyboardMouseSetupWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int refreshIntervalMs = 1000;

    KeyboardMouseSetupWindow(SeamlessInputManager &manager, UserDefaults &defaults, QWidget *parent = nullptr);

    // Brings the window to the front, showing it if hidden.
    void present();
    void refresh();

    bool inputStepFinished() const { return inputFinished_; }
    bool placementStepFinished() const { return placementFinished_; }
    QLabel *placementBody() const { return placementBody_; }
    QPushButton *placementButton(Placement placement) const;
    QPushButton *doneButton() const { return done_; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    SeamlessInputManager &manager_;
    UserDefaults &defaults_;
    QLabel *inputBadge_;
    QLabel *inputBody_;
    QLabel *placementBadge_;
    QLabel *placementBody_;
    QButtonGroup *sides_;
    QPushButton *done_;
    QTimer ticker_;
    bool inputFinished_ = false;
    bool placementFinished_ = false;
};

} // namespace lumarient
