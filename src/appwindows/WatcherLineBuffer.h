#pragma once

#include <QByteArray>
#include <QStringList>

namespace lumarient {

// Collects the phone watcher's output, which arrives in pieces of any size, and
// hands out whole lines. Lines are cut before decoding, so a character split
// between two reads survives, and a line that is not UTF-8 is dropped alone. A
// line longer than `maximumLineLength` bytes is no line the watcher sends: it
// is dropped up to its newline, so the buffer stays bounded whatever the phone
// prints.
class WatcherLineBuffer {
public:
    static constexpr qsizetype maximumLineLength = 4096;

    // Adds `bytes` and returns the lines they completed, without their newlines
    // (and without a carriage return before them).
    QStringList append(const QByteArray &bytes);
    void clear();
    qsizetype pendingSize() const { return pending_.size(); }

private:
    QByteArray pending_;
    // Inside an overlong line: everything up to the next newline is dropped.
    bool discarding_ = false;
};

} // namespace lumarient
