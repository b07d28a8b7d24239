#pragma once

#include "model/DiscoveredService.h"
#include "model/QRPairingSession.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace lumarient {

class DeviceManager;
class WirelessConnector;

// What the pairing sheet shows and does, without its widgets: the QR code of a
// fresh session, the list of phones offering a pairing code, and the Pair action.
// Lives on the main thread for as long as the sheet is open.
class PairingSheet final : public QObject {
    Q_OBJECT
public:
    // Scale of the QR image; the sheet shows it at 160 by 160 with hard edges.
    static constexpr int qrScale = 8;

    PairingSheet(DeviceManager &manager, WirelessConnector &wireless, QObject *parent = nullptr);

    // The sheet was shown: a new QR session and its image.
    void shown();

    bool isPresented() const { return isPresented_; }
    const std::optional<QString> &selectedID() const { return selectedID_; }
    const QString &code() const { return code_; }
    bool isPairing() const { return isPairing_; }
    const std::optional<QString> &errorText() const { return errorText_; }
    const std::optional<QRPairingSession> &qrSession() const { return qrSession_; }
    const std::optional<QImage> &qrImage() const { return qrImage_; }
    // The phones offering a pairing code, rows tagged with their `id`.
    QList<DiscoveredService> candidates() const;

    void setSelectedID(const std::optional<QString> &id);
    void setCode(const QString &code);
    // Whether the Pair button is enabled.
    bool canPair() const;
    void pair();
    void cancel();

signals:
    // Any of the fields above changed.
    void changed();
    // isPresented went false: the sheet should close.
    void closeRequested();

private:
    void readyDevicesChanged();
    void close();

    DeviceManager &manager_;
    WirelessConnector &wireless_;
    bool isPresented_ = true;
    std::optional<QString> selectedID_;
    QString code_;
    bool isPairing_ = false;
    std::optional<QString> errorText_;
    std::optional<QRPairingSession> qrSession_;
    std::optional<QImage> qrImage_;
    QStringList readySerials_;
};

} // namespace lumarient
