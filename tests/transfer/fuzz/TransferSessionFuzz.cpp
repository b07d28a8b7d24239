// Drives the transfer session, the header decoder and the download names with
// arbitrary bytes, split into arbitrary pieces, against a sink that fails where the
// input tells it to, and checks what must hold whatever the phone sends.
//
// Input: one byte of sink failures, one byte seeding the piece sizes, then the
// bytes of the connection.

#include "transfer/DownloadName.h"
#include "transfer/TextPreview.h"
#include "transfer/TransferHeader.h"
#include "transfer/TransferSession.h"
#include "transfer/TransferSink.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace lumarient;

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

bool isSafeName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/')))
        return false;
    for (QChar character : name) {
        if (character.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

// Checks the order of the calls a session makes.
class CheckingSink final : public TransferSink {
public:
    explicit CheckingSink(std::uint8_t failures) : failures_(failures) {}

    void deliverText(const QString &text) override
    {
        check(!delivered && !created, "one delivery per connection");
        delivered = true;
        check(textPreview(text).size() <= text.size() + 1, "preview longer than its text");
    }
    bool createFile(const QString &name) override
    {
        check(!delivered && !created, "one delivery per connection");
        check(isSafeName(name), "unsafe file name");
        created = true;
        open = (failures_ & 1) == 0;
        return open;
    }
    bool appendToFile(const char *, std::size_t length) override
    {
        check(open, "append to a file that is not open");
        check(length >= 1 && length <= transferLimits::fileReadStep, "append outside one read step");
        appended += length;
        // The upper bits pick the byte count after which writing fails (0: never).
        const std::uint64_t limit = std::uint64_t(failures_ >> 2) * 4096;
        return limit == 0 || appended <= limit;
    }
    bool completeFile() override
    {
        check(open, "complete a file that is not open");
        open = false;
        finished = true;
        completed = (failures_ & 2) == 0; // when false, the sink has removed the file itself
        return completed;
    }
    void discardFile() override
    {
        check(created && !finished, "discard without a file, or after finishing it");
        check(!discarded, "discard twice");
        open = false;
        discarded = true;
    }

    bool delivered = false;
    bool created = false;
    bool open = false;
    bool finished = false;
    bool completed = false;
    bool discarded = false;
    std::uint64_t appended = 0;

private:
    std::uint8_t failures_;
};

// The header the bytes announce, decoded separately, to check the session's counting.
std::optional<Header> announcedHeader(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return std::nullopt;
    const unsigned char lengthBytes[4] = {data[0], data[1], data[2], data[3]};
    const std::optional<std::uint32_t> length = decodeHeaderLength(lengthBytes);
    if (!length || size - 4 < *length)
        return std::nullopt;
    return decodeHeader(QByteArray(reinterpret_cast<const char *>(data + 4), qsizetype(*length)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t failures = data[0];
    std::uint32_t pieces = data[1] * 2654435761u + 1;
    data += 2;
    size -= 2;

    // The pure helpers on their own, with the raw bytes.
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<Header> header = decodeHeader(raw)) {
        const QString name = safeFileName(header->name);
        check(isSafeName(name), "unsafe file name");
        check(numberedFileName(name, 2).toUtf8().size() <= 255, "numbered name too long");
    }
    if (const std::optional<QString> text = decodeUtf8(raw))
        check(text->toUtf8() == raw, "UTF-8 round trip");

    CheckingSink sink(failures);
    bool acknowledged = false;
    {
        TransferSession session(sink);
        std::size_t offset = 0;
        TransferSession::Step step = TransferSession::Step::read;
        while (offset < size && step == TransferSession::Step::read) {
            const std::size_t wanted = session.wanted();
            check(wanted >= 1, "an open session wants nothing");
            check(wanted <= transferLimits::maximumTextLength, "wants more than any body");
            if (session.stage() == TransferSession::Stage::file)
                check(wanted <= transferLimits::fileReadStep, "file read above one step");
            pieces = pieces * 1103515245u + 12345u;
            const std::size_t piece = std::min({wanted, size - offset, std::size_t(1 + (pieces >> 16) % 4096)});
            step = session.receive(reinterpret_cast<const char *>(data + offset), piece);
            offset += piece;
        }
        if (step == TransferSession::Step::read)
            step = (failures & 0x80) ? session.fail() : session.endOfStream();
        if (step == TransferSession::Step::acknowledge) {
            acknowledged = true;
            check(session.stage() == TransferSession::Stage::acknowledged, "acknowledged in the wrong stage");
            check(session.wanted() == 1, "after the acknowledgement, one byte is awaited");
            // The phone's last byte, or the end of its stream, closes the connection.
            step = offset < size ? session.receive(reinterpret_cast<const char *>(data + offset), 1)
                                 : session.endOfStream();
        }
        check(step == TransferSession::Step::close, "the stream's end leaves a transfer waiting");
        check(session.wanted() == 0, "a closed session wants more");
    }
    // After the session is gone, a file was kept or discarded, never left open.
    check(!sink.open, "file left open");
    check(!sink.created || sink.finished || sink.discarded, "file neither finished nor discarded");
    if (sink.completed) {
        check(acknowledged, "kept a file without acknowledging");
        const std::optional<Header> header = announcedHeader(data, size);
        check(header.has_value(), "kept a file without a header");
        if (header->size >= 0)
            check(sink.appended == std::uint64_t(header->size), "kept a file of the wrong length");
    }
    if (acknowledged)
        check(sink.delivered || sink.completed, "acknowledged nothing");
    return 0;
}
