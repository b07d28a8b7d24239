#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace lumarient {

class DeviceManager;
class WirelessConnector;
class PairingSheet;

// "Connect Wirelessly": the QR code and the pairing-code form, shown as a sheet
// over the onboarding window. Made afresh each time it opens, which starts a new
// QR session.
class PairingDialog : public QDialog {
    Q_OBJECT
public:
    PairingDialog(DeviceManager &manager, WirelessConnector &wireless, QWidget *parent);

    PairingSheet &sheet() { return *sheet_; }
    QLabel *qrLabel() const { return qr_; }
    QListWidget *candidateList() const { return candidates_; }
    QLineEdit *codeField() const { return code_; }
    QPushButton *pairButton() const { return pair_; }
    QLabel *errorLabel() const { return error_; }

private:
    void showState();

    PairingSheet *sheet_;
    QLabel *qr_;
    QListWidget *candidates_;
    QWidget *searching_;
    QLineEdit *code_;
    QPushButton *pair_;
    QLabel *error_;
};

} // namespace lumarient
