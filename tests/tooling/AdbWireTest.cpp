#include "tooling/AdbWire.h"

#include <gtest/gtest.h>

using namespace lumarient;
using namespace lumarient::adbwire;

namespace {

TEST(AdbWireTest, FramesRequestsAndRefusesUnframeableOnes)
{
    EXPECT_EQ(request("host:devices-l"), QByteArray("000ehost:devices-l"));
    EXPECT_EQ(request(QByteArray(0xffff, 'x'))->left(4), QByteArray("ffff"));
    EXPECT_FALSE(request(""));
    EXPECT_FALSE(request(QByteArray(0x10000, 'x')));
}

TEST(AdbWireTest, ReadsOnlyFourHexDigitsAsALength)
{
    const struct {
        const char *digits;
        std::optional<int> length;
    } cases[] = {
        {"0000", 0},
        {"001a", 26},
        {"FFFF", 0xffff},
        {"00A0", 160},
        {"00g0", std::nullopt},
        {"-001", std::nullopt},
        {" 01a", std::nullopt},
        {"01a", std::nullopt},
        {"00010", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto &row : cases)
        EXPECT_EQ(hexLength(row.digits), row.length) << row.digits;
}

TEST(AdbWireTest, TakesStatusesWholeOrNotAtAll)
{
    const struct {
        QByteArray input;
        Take take;
        bool okay;
        QByteArray message;
        QByteArray left;
    } cases[] = {
        {"OKAY", Take::done, true, {}, {}},
        {"OKAY0004rest", Take::done, true, {}, "0004rest"},
        {"OK", Take::incomplete, false, {}, "OK"},
        {"", Take::incomplete, false, {}, {}},
        {"FAIL0009not found", Take::done, false, "not found", {}},
        {"FAIL0009not", Take::incomplete, false, {}, "FAIL0009not"},
        {"FAIL00", Take::incomplete, false, {}, "FAIL00"},
        {"FAILzzzz", Take::malformed, false, {}, "FAILzzzz"},
        {"HTTP/1.1 200", Take::malformed, false, {}, "HTTP/1.1 200"},
        {"X", Take::malformed, false, {}, "X"},
        {"okay", Take::malformed, false, {}, "okay"},
    };
    for (const auto &row : cases) {
        QByteArray buffer = row.input;
        const Status status = takeStatus(buffer);
        EXPECT_EQ(status.take, row.take) << row.input.constData();
        EXPECT_EQ(status.okay, row.okay) << row.input.constData();
        EXPECT_EQ(status.message, row.message) << row.input.constData();
        EXPECT_EQ(buffer, row.left) << row.input.constData();
    }
}

TEST(AdbWireTest, TakesLengthPrefixedBlocks)
{
    const struct {
        QByteArray input;
        Take take;
        QByteArray data;
        QByteArray left;
    } cases[] = {
        {"0000", Take::done, {}, {}},
        {"0003abc0001x", Take::done, "abc", "0001x"},
        {"0005abc", Take::incomplete, {}, "0005abc"},
        {"00", Take::incomplete, {}, "00"},
        {"0x", Take::malformed, {}, "0x"},
        {"zzzzabc", Take::malformed, {}, "zzzzabc"},
        {"ffffabc", Take::incomplete, {}, "ffffabc"},
    };
    for (const auto &row : cases) {
        QByteArray buffer = row.input;
        const Block block = takeBlock(buffer);
        EXPECT_EQ(block.take, row.take) << row.input.constData();
        EXPECT_EQ(block.data, row.data) << row.input.constData();
        EXPECT_EQ(buffer, row.left) << row.input.constData();
    }
}

TEST(AdbWireTest, ReadsReversalsAndSkipsOtherLines)
{
    const QString text = QStringLiteral("R58M tcp:38017 tcp:38017\n"
                                        "\n"
                                        "UsbFfs tcp:1 localabstract:x\n"
                                        "garbage\n"
                                        "a b c d\n"
                                        "R58M tcp:38018 tcp:9\r\n");
    EXPECT_EQ(parseReversals(text), (QList<Reversal>{{QStringLiteral("tcp:38017"), QStringLiteral("tcp:38017")},
                                                     {QStringLiteral("tcp:1"), QStringLiteral("localabstract:x")},
                                                     {QStringLiteral("tcp:38018"), QStringLiteral("tcp:9")}}));
    EXPECT_TRUE(parseReversals({}).isEmpty());
}

} // namespace
