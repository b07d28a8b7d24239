#include "transfer/TransferSession.h"
#include "TransferClient.h"
#include "transfer/TextBudget.h"
#include "transfer/TransferSink.h"

#include <gtest/gtest.h>

#include <memory>

using namespace lumarient;
using namespace lumarient::test;
using Step = TransferSession::Step;
using Stage = TransferSession::Stage;

namespace {

// Writes down every call, and fails where told to.
class RecordingSink final : public TransferSink {
public:
    void deliverText(const QString &text) override { calls << QStringLiteral("text:") + text; }
    bool createFile(const QString &name) override
    {
        calls << QStringLiteral("create:") + name;
        return !failCreate;
    }
    bool appendToFile(const char *data, std::size_t length) override
    {
        file.append(data, qsizetype(length));
        return !(failAppendAfter >= 0 && file.size() > failAppendAfter);
    }
    bool completeFile() override
    {
        calls << QStringLiteral("complete:%1").arg(file.size());
        return !failComplete;
    }
    void discardFile() override { calls << QStringLiteral("discard"); }

    QStringList calls;
    QByteArray file;
    bool failCreate = false;
    bool failComplete = false;
    qsizetype failAppendAfter = -1;
};

// Feeds `bytes` in pieces of at most `piece`, never more than the session wants, and
// returns the last step and how many bytes it took.
std::pair<Step, qsizetype> feed(TransferSession &session, const QByteArray &bytes, qsizetype piece)
{
    qsizetype offset = 0;
    Step step = Step::read;
    while (offset < bytes.size() && step == Step::read) {
        const qsizetype length = std::min({piece, qsizetype(session.wanted()), bytes.size() - offset});
        step = session.receive(bytes.constData() + offset, std::size_t(length));
        offset += length;
    }
    return {step, offset};
}

} // namespace

TEST(TransferSession, PiecesOfAnySizeGiveTheSameResultAndNothingIsReadPastTheBody)
{
    const QByteArray body = QByteArray("0123456789").repeated(30);
    const QByteArray trailing = "after the body";
    for (qsizetype piece : {1, 2, 3, 7, 64, 1000}) {
        RecordingSink text;
        TransferSession textSession(text);
        EXPECT_EQ(feed(textSession, wire(textHeader(body.size()), body) + trailing, piece),
                  std::make_pair(Step::acknowledge, wire(textHeader(body.size()), body).size()));
        EXPECT_EQ(text.calls, QStringList{QStringLiteral("text:") + QString::fromLatin1(body)});
        // Then one byte of the phone's, and the connection is over.
        EXPECT_EQ(textSession.stage(), Stage::acknowledged);
        EXPECT_EQ(textSession.wanted(), 1u);
        EXPECT_EQ(textSession.receive("x", 1), Step::close);

        RecordingSink file;
        TransferSession fileSession(file);
        const QByteArray bytes = wire(fileHeader(QStringLiteral("f.bin"), body.size()), body);
        EXPECT_EQ(feed(fileSession, bytes + trailing, piece), std::make_pair(Step::acknowledge, bytes.size()));
        EXPECT_EQ(file.file, body);
        EXPECT_EQ(file.calls, (QStringList{"create:f.bin", "complete:300"}));
        EXPECT_EQ(fileSession.endOfStream(), Step::close);
    }
}

TEST(TransferSession, FileBodiesAreReadInStepsOf256KiB)
{
    RecordingSink sink;
    TransferSession session(sink);
    ASSERT_EQ(feed(session, wire(fileHeader(QStringLiteral("big"), 600000)), 1 << 20).first, Step::read);
    EXPECT_EQ(session.wanted(), 262144u);
    const QByteArray chunk(262144, 'x');
    EXPECT_EQ(session.receive(chunk.constData(), 262144), Step::read);
    EXPECT_EQ(session.receive(chunk.constData(), 262144), Step::read);
    EXPECT_EQ(session.wanted(), 600000u - 2 * 262144u);
    // More than wanted is a broken owner: the transfer is abandoned, not overrun.
    EXPECT_EQ(session.receive(chunk.constData(), 262144), Step::close);
    EXPECT_EQ(sink.calls.back(), QStringLiteral("discard"));

    RecordingSink open;
    TransferSession openEnded(open);
    ASSERT_EQ(feed(openEnded, wire(fileHeader(QStringLiteral("stream"), -5)), 1 << 20).first, Step::read);
    for (int step = 0; step < 3; ++step) {
        EXPECT_EQ(openEnded.wanted(), 262144u);
        EXPECT_EQ(openEnded.receive(chunk.constData(), 262144), Step::read);
    }
    EXPECT_EQ(openEnded.endOfStream(), Step::acknowledge);
    EXPECT_EQ(open.calls, (QStringList{"create:stream", QStringLiteral("complete:%1").arg(3 * 262144)}));
}

TEST(TransferSession, EveryFailureEndsClosedWithThePartialFileDiscarded)
{
    const QByteArray file = wire(fileHeader(QStringLiteral("f"), 10), "0123456789");
    {
        RecordingSink sink;
        sink.failCreate = true;
        TransferSession session(sink);
        EXPECT_EQ(feed(session, file, 100).first, Step::close);
        EXPECT_EQ(sink.calls, (QStringList{"create:f", "discard"}));
    }
    {
        RecordingSink sink;
        sink.failAppendAfter = 3;
        TransferSession session(sink);
        EXPECT_EQ(feed(session, file, 2).first, Step::close);
        EXPECT_EQ(sink.calls, (QStringList{"create:f", "discard"}));
        EXPECT_EQ(session.wanted(), 0u);
        EXPECT_EQ(session.receive("x", 1), Step::close);
        EXPECT_EQ(sink.calls.size(), 2);
    }
    {
        RecordingSink sink;
        sink.failComplete = true;
        TransferSession session(sink);
        EXPECT_EQ(feed(session, file, 100).first, Step::close);
        EXPECT_EQ(sink.calls, (QStringList{"create:f", "complete:10"}));
    }
    for (qsizetype cut : {qsizetype(2), qsizetype(20), file.size() - 1}) {
        RecordingSink ended, failed;
        TransferSession endedSession(ended), failedSession(failed);
        feed(endedSession, file.left(cut), 100);
        feed(failedSession, file.left(cut), 100);
        EXPECT_EQ(endedSession.endOfStream(), Step::close);
        EXPECT_EQ(failedSession.fail(), Step::close);
        EXPECT_EQ(ended.calls, failed.calls);
        EXPECT_FALSE(ended.calls.contains(QStringLiteral("complete:10")));
        EXPECT_EQ(ended.calls.isEmpty(), cut < file.size() - 10) << cut;
    }
    {
        RecordingSink sink;
        {
            TransferSession session(sink);
            feed(session, file.left(file.size() - 1), 100);
        }
        EXPECT_EQ(sink.calls, (QStringList{"create:f", "discard"})) << "dropped by a receiver shutting down";
    }
}

TEST(TransferSession, TextsHoldTheirDeclaredSizeOfTheBudgetUntilTheyEndInAnyWay)
{
    TextBudget budget(10);
    RecordingSink sink;
    const auto started = [&](qint64 size) {
        auto session = std::make_unique<TransferSession>(sink, &budget);
        feed(*session, wire(textHeader(size)), 100);
        return session;
    };

    auto whole = started(6);
    auto rest = started(4);
    EXPECT_EQ(budget.inUse(), 10u);
    auto over = started(1);
    EXPECT_EQ(over->stage(), Stage::closed) << "refused before its body is read";
    EXPECT_EQ(started(0)->stage(), Stage::acknowledged) << "an empty text costs nothing";

    // Delivered, cut short, or dropped with the connection: each gives its share back.
    EXPECT_EQ(feed(*whole, "abcdef", 2).first, Step::acknowledge);
    EXPECT_EQ(budget.inUse(), 4u);
    EXPECT_EQ(rest->endOfStream(), Step::close);
    EXPECT_EQ(budget.inUse(), 0u);
    auto dropped = started(10);
    feed(*dropped, "abc", 3);
    EXPECT_EQ(budget.inUse(), 10u);
    dropped.reset();
    EXPECT_EQ(budget.inUse(), 0u);
    EXPECT_EQ(sink.calls, (QStringList{"text:", "text:abcdef"}));
}

TEST(TransferSession, WhatIsNotAWholeTransferEndsClosedWithNothingDelivered)
{
    const QByteArray headerOnly = R"({"type":"text","size":1})";
    const struct {
        const char *what;
        QByteArray bytes;
    } refused[] = {
        {"header length 0", bigEndianLength(0) + headerOnly + "x"},
        {"header length 65537", bigEndianLength(65537) + headerOnly + "x"},
        {"header length 2^32-1", bigEndianLength(0xffffffff) + headerOnly + "x"},
        {"not JSON", bigEndianLength(8) + "not json" + "x"},
        {"no size", wire({{"type", "file"}, {"name", "a.txt"}}, "abc")},
        {"unknown type", wire({{"type", "image"}, {"name", "a.txt"}, {"size", 3}}, "abc")},
        {"text over 10 MiB", wire(textHeader(10 * 1024 * 1024 + 1))},
        {"negative text", wire(textHeader(-1))},
        {"lone continuation byte", wire(textHeader(3), "ab\x80")},
        {"overlong slash", wire(textHeader(2), "\xc0\xaf")},
        {"encoded surrogate", wire(textHeader(3), "\xed\xa0\x80")},
    };
    for (const auto &[what, bytes] : refused) {
        RecordingSink sink;
        TransferSession session(sink);
        EXPECT_EQ(feed(session, bytes, 1 << 20).first, Step::close) << what;
        EXPECT_TRUE(sink.calls.isEmpty()) << what;
    }

    // The largest header and the largest text still go through.
    QByteArray padded = headerOnly;
    padded.append(QByteArray(65536 - padded.size(), ' '));
    RecordingSink sink;
    TransferSession session(sink);
    EXPECT_EQ(feed(session, bigEndianLength(65536) + padded + "x", 1 << 20).first, Step::acknowledge);
    const QByteArray largest(10 * 1024 * 1024, 'a');
    TransferSession largestText(sink);
    EXPECT_EQ(feed(largestText, wire(textHeader(largest.size()), largest), 1 << 20).first, Step::acknowledge);
    ASSERT_EQ(sink.calls.size(), 2);
    EXPECT_EQ(sink.calls[1].size(), QStringLiteral("text:").size() + largest.size());
}
