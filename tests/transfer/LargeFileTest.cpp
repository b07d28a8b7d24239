#include "TransferClient.h"
#include "transfer/FileReceiver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

using namespace lumarient;
using namespace lumarient::test;

namespace {

constexpr qint64 gibibyte = qint64(1) << 30;
constexpr qsizetype chunkSize = 4 << 20;

// A checksum cheap enough for a gibibyte: 64-bit words mixed in order.
class Checksum {
public:
    void add(const char *data, qsizetype length)
    {
        for (qsizetype offset = 0; offset + 8 <= length; offset += 8) {
            std::uint64_t word;
            std::memcpy(&word, data + offset, 8);
            state_ = (state_ ^ word) * 0x100000001b3ull;
            state_ ^= state_ >> 29;
        }
    }
    std::uint64_t value() const { return state_; }

private:
    std::uint64_t state_ = 0xcbf29ce484222325ull;
};

// Bytes that differ all the way through, so a lost or repeated chunk changes the checksum.
void generate(std::vector<char> &chunk, std::uint64_t &seed)
{
    for (std::size_t offset = 0; offset < chunk.size(); offset += 8) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        std::memcpy(chunk.data() + offset, &seed, 8);
    }
}

} // namespace

TEST(LargeFile, OneGibibyteArrivesIntact)
{
    QTemporaryDir downloads;
    RecordingNotifier notifier;
    RecordingClipboard clipboard;
    FileReceiver receiver(downloads.path(), notifier, clipboard, 0);
    receiver.start();
    ASSERT_TRUE(receiver.isListening());

    TransferClient client(receiver.port());
    ASSERT_TRUE(client.sendHeader(fileHeader(QStringLiteral("large.bin"), gibibyte)));
    Checksum sent;
    std::vector<char> chunk(chunkSize);
    std::uint64_t seed = 0x9e3779b97f4a7c15ull;
    for (qint64 offset = 0; offset < gibibyte; offset += chunkSize) {
        generate(chunk, seed);
        sent.add(chunk.data(), chunkSize);
        ASSERT_TRUE(client.send(QByteArray::fromRawData(chunk.data(), chunkSize)));
    }
    client.finishSending();
    ASSERT_EQ(client.reply(60000), QByteArray("\x01", 1));

    QFile file(QDir(downloads.path()).filePath(QStringLiteral("large.bin")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.size(), gibibyte);
    Checksum received;
    for (qint64 read; (read = file.read(chunk.data(), chunkSize)) > 0;)
        received.add(chunk.data(), read);
    EXPECT_EQ(received.value(), sent.value());
    file.remove();
}
