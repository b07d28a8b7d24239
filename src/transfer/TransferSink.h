#pragma once

#include <QString>

#include <cstddef>

namespace lumarient {

// Where a transfer's content goes once the wire format has been checked. A
// TransferSession calls these in order: either `deliverText`, or `createFile`,
// any number of `appendToFile`, then exactly one of `completeFile` or
// `discardFile` (the latter also when the file could not be created).
class TransferSink {
public:
    virtual ~TransferSink() = default;

    // The text has arrived whole and is valid UTF-8.
    virtual void deliverText(const QString &text) = 0;

    // `name` is already safe for the file system. False when the file cannot be made.
    virtual bool createFile(const QString &name) = 0;
    // False when the bytes cannot be stored (write error, no room left).
    virtual bool appendToFile(const char *data, std::size_t length) = 0;
    // The body is complete: keep the file. False when it cannot be kept after all,
    // in which case the sink has removed it.
    virtual bool completeFile() = 0;
    // The transfer failed: nothing of the file may remain.
    virtual void discardFile() = 0;
};

} // namespace lumarient
