#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace lumarient::adbwire {

// The adb server's framing: a request is four hex digits giving the length of
// the service name that follows; an answer starts with "OKAY" or with "FAIL"
// and a message, and a block of text is four hex digits and that many bytes.
// Everything here treats the server's bytes as untrusted input.

// The framed request, or nothing when `service` is empty or too long to frame.
std::optional<QByteArray> request(QByteArrayView service);

// Exactly four hex digits, read as a length.
std::optional<int> hexLength(QByteArrayView digits);

enum class Take {
    incomplete, // more bytes are needed; nothing was consumed
    done,       // the item was taken off the front of the buffer
    malformed,  // the bytes cannot be an answer; the connection is useless
};

struct Status {
    Take take = Take::incomplete;
    bool okay = false;
    // The server's reason, after "FAIL".
    QByteArray message;
};

struct Block {
    Take take = Take::incomplete;
    QByteArray data;
};

// Takes "OKAY", or "FAIL" and its length-prefixed message, off `buffer`.
Status takeStatus(QByteArray &buffer);
// Takes one length-prefixed block off `buffer`.
Block takeBlock(QByteArray &buffer);

struct Reversal {
    QString remote;
    QString local;
    bool operator==(const Reversal &) const = default;
};

// The reversals in a `reverse:list-forward` answer: lines "<serial> <remote>
// <local>"; lines of another shape are skipped.
QList<Reversal> parseReversals(const QString &text);

} // namespace lumarient::adbwire
