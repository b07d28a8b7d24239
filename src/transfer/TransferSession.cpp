#include "transfer/TransferSession.h"

#include "transfer/DownloadName.h"
#include "transfer/TextBudget.h"
#include "transfer/TransferSink.h"

#include <algorithm>
#include <cstring>

namespace lumarient {

TransferSession::TransferSession(TransferSink &sink, TextBudget *textBudget) : sink_(sink), textBudget_(textBudget)
{
}

TransferSession::~TransferSession()
{
    // A connection torn down mid-file (receiver shutting down) must not leave a part behind.
    if (fileOpen_)
        sink_.discardFile();
    giveBackText();
}

std::size_t TransferSession::wanted() const
{
    switch (stage_) {
    case Stage::headerLength:
        return sizeof lengthBytes_ - lengthReceived_;
    case Stage::header:
        return headerLength_ - std::size_t(buffer_.size());
    case Stage::text:
        return std::size_t(remaining_);
    case Stage::file:
        if (remaining_ < 0 || std::uint64_t(remaining_) >= transferLimits::fileReadStep)
            return transferLimits::fileReadStep;
        return std::size_t(remaining_);
    case Stage::acknowledged:
        return 1;
    case Stage::closed:
        return 0;
    }
    return 0;
}

TransferSession::Step TransferSession::receive(const char *data, std::size_t length)
{
    if (length == 0 || length > wanted())
        return fail();

    switch (stage_) {
    case Stage::headerLength: {
        std::memcpy(lengthBytes_ + lengthReceived_, data, length);
        lengthReceived_ += length;
        if (lengthReceived_ < sizeof lengthBytes_)
            return Step::read;
        const std::optional<std::uint32_t> headerLength = decodeHeaderLength(lengthBytes_);
        if (!headerLength)
            return close();
        headerLength_ = *headerLength;
        buffer_.reserve(qsizetype(headerLength_));
        stage_ = Stage::header;
        return Step::read;
    }
    case Stage::header:
        buffer_.append(data, qsizetype(length));
        if (std::size_t(buffer_.size()) < headerLength_)
            return Step::read;
        return startBody();
    case Stage::text:
        // Grown in steps but never past the declared size, which is what the budget counts.
        if (buffer_.capacity() - buffer_.size() < qsizetype(length)) {
            const qsizetype declared = buffer_.size() + qsizetype(remaining_);
            buffer_.reserve(std::min(declared, std::max(2 * buffer_.capacity(), buffer_.size() + qsizetype(length))));
        }
        buffer_.append(data, qsizetype(length));
        remaining_ -= std::int64_t(length);
        return remaining_ == 0 ? finishText() : Step::read;
    case Stage::file:
        if (!sink_.appendToFile(data, length))
            return close();
        if (remaining_ < 0)
            return Step::read;
        remaining_ -= std::int64_t(length);
        return remaining_ == 0 ? finishFile() : Step::read;
    case Stage::acknowledged:
    case Stage::closed:
        return close();
    }
    return close();
}

TransferSession::Step TransferSession::endOfStream()
{
    // Only a file of unknown length ends with the stream; anything else is cut short.
    if (stage_ == Stage::file && remaining_ < 0)
        return finishFile();
    return close();
}

TransferSession::Step TransferSession::fail()
{
    return close();
}

TransferSession::Step TransferSession::startBody()
{
    const std::optional<Header> header = decodeHeader(buffer_);
    buffer_ = QByteArray();
    if (!header)
        return close();

    if (header->type == QLatin1String("text")) {
        if (std::uint64_t(header->size) > transferLimits::maximumTextLength)
            return close();
        if (header->size == 0)
            return finishText();
        if (textBudget_) {
            if (!textBudget_->take(std::uint64_t(header->size)))
                return close();
            textTaken_ = std::uint64_t(header->size);
        }
        remaining_ = header->size;
        // Grown as the text arrives, so a declared size costs nothing until it is sent.
        buffer_.reserve(qsizetype(std::min<std::int64_t>(remaining_, transferLimits::fileReadStep)));
        stage_ = Stage::text;
        return Step::read;
    }
    if (header->type == QLatin1String("file")) {
        fileOpen_ = true;
        if (!sink_.createFile(safeFileName(header->name)))
            return close();
        if (header->size == 0)
            return finishFile();
        remaining_ = header->size;
        stage_ = Stage::file;
        return Step::read;
    }
    return close();
}

TransferSession::Step TransferSession::finishText()
{
    const std::optional<QString> text = decodeUtf8(buffer_);
    buffer_ = QByteArray();
    giveBackText();
    if (!text)
        return close();
    sink_.deliverText(*text);
    stage_ = Stage::acknowledged;
    return Step::acknowledge;
}

TransferSession::Step TransferSession::finishFile()
{
    fileOpen_ = false;
    if (!sink_.completeFile())
        return close();
    stage_ = Stage::acknowledged;
    return Step::acknowledge;
}

TransferSession::Step TransferSession::close()
{
    if (fileOpen_) {
        fileOpen_ = false;
        sink_.discardFile();
    }
    buffer_ = QByteArray();
    giveBackText();
    stage_ = Stage::closed;
    return Step::close;
}

void TransferSession::giveBackText()
{
    if (textTaken_ != 0)
        textBudget_->giveBack(textTaken_);
    textTaken_ = 0;
}

} // namespace lumarient
