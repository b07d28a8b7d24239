#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>

#include "platform/Clipboard.h"
#include "platform/Notifier.h"

#include <cstdint>

namespace lumarient::test {

// The bytes of a transfer as the phone sends them: length, header JSON, body.
QByteArray wire(const QJsonObject &header, const QByteArray &body = {});

// A phone's side of one transfer: a blocking TCP client on 127.0.0.1.
class TransferClient {
public:
    explicit TransferClient(std::uint16_t port);
    ~TransferClient();

    TransferClient(const TransferClient &) = delete;
    TransferClient &operator=(const TransferClient &) = delete;

    bool connected() const { return socket_ >= 0; }

    // Sends raw bytes; false once the receiver has closed the connection.
    bool send(const QByteArray &bytes);
    // Sends the 4-byte length and the header JSON.
    bool sendHeader(const QJsonObject &header) { return send(wire(header)); }

    // Closes the sending side, as the phone does after a body of unknown length.
    void finishSending();
    // Ends the connection abruptly with a reset.
    void reset();

    // Reads until the receiver closes (up to `timeoutMs`): 0x01 after a completed
    // transfer, nothing after a refused one.
    QByteArray reply(int timeoutMs = 10000);

private:
    int socket_ = -1;
};

// A whole transfer: header, body, the end of sending, and the receiver's reply.
QByteArray transfer(std::uint16_t port, const QJsonObject &header, const QByteArray &body);

QByteArray bigEndianLength(std::uint32_t length);
QJsonObject textHeader(qint64 size);
QJsonObject fileHeader(const QJsonValue &name, qint64 size);

// Notifications and clipboard texts as the receiver hands them over.
class RecordingNotifier final : public Notifier {
public:
    void notify(const QString &title, const QString &body) override;
    QList<QPair<QString, QString>> notifications() const;

private:
    mutable QMutex mutex_;
    QList<QPair<QString, QString>> notifications_;
};

class RecordingClipboard final : public Clipboard {
public:
    void setText(const QString &text) override;
    QStringList texts() const;

private:
    mutable QMutex mutex_;
    QStringList texts_;
};

} // namespace lumarient::test
