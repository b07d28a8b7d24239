#pragma once

#include "transfer/TransferHeader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace lumarient {

class TextBudget;
class TransferSink;

// The receiving side of one transfer connection, free of sockets and files. Its
// owner reads at most `wanted()` bytes from the connection, hands them to
// `receive` (or reports the end of the stream or a read error), and does what the
// returned step says. Input is hostile: every byte sequence leads to a defined
// step, and nothing is read past what the current stage needs. A text takes its
// declared size from the shared budget, when there is one, before its body is
// read, and gives it back when it ends in any way.
class TransferSession {
public:
    enum class Stage { headerLength, header, text, file, acknowledged, closed };
    enum class Step {
        read,        // read again, at most wanted() bytes
        acknowledge, // send the acknowledgement byte, then read again
        close,       // close the connection (without a byte when not acknowledged)
    };

    explicit TransferSession(TransferSink &sink, TextBudget *textBudget = nullptr);
    ~TransferSession();

    TransferSession(const TransferSession &) = delete;
    TransferSession &operator=(const TransferSession &) = delete;

    Stage stage() const { return stage_; }
    // How many bytes the next read may take; 0 once closed.
    std::size_t wanted() const;

    // `length` must be between 1 and wanted().
    Step receive(const char *data, std::size_t length);
    // The phone has closed its sending side.
    Step endOfStream();
    // The connection failed (read error, reset, shut down).
    Step fail();

private:
    Step startBody();
    Step finishText();
    Step finishFile();
    Step close();
    void giveBackText();

    TransferSink &sink_;
    TextBudget *textBudget_;
    std::uint64_t textTaken_ = 0;
    Stage stage_ = Stage::headerLength;
    unsigned char lengthBytes_[4] = {};
    std::size_t lengthReceived_ = 0;
    std::uint32_t headerLength_ = 0;
    QByteArray buffer_;          // the header, then the text
    std::int64_t remaining_ = 0; // file bytes still expected; negative: until the end of the stream
    bool fileOpen_ = false;
};

} // namespace lumarient
