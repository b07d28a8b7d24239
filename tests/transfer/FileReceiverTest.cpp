#include "transfer/FileReceiver.h"
#include "TransferClient.h"
#include "support/EventLoop.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumarient;
using namespace lumarient::test;

namespace {

const QByteArray acknowledged("\x01", 1);
const QByteArray refused;

using Notification = QPair<QString, QString>;

// The real receiver on a free loopback port, saving into a temporary Downloads folder.
class FileReceiverTest : public ::testing::Test {
protected:
    FileReceiverTest() { receiver_.start(); }

    std::uint16_t port() const { return receiver_.port(); }

    // A second receiver on another free port, saving into the same folder, with limits of its own.
    std::unique_ptr<FileReceiver> limitedReceiver(const FileReceiverLimits &limits)
    {
        auto receiver = std::make_unique<FileReceiver>(downloadsPath(), notifier_, clipboard_, 0,
                                                       DownloadsFile::freeSpaceOf, limits);
        receiver->start();
        return receiver;
    }
    QString downloadsPath() const { return home_.filePath(QStringLiteral("Downloads")); }

    QStringList downloads() const
    {
        return QDir(downloadsPath()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    QByteArray downloaded(const QString &name) const
    {
        QFile file(QDir(downloadsPath()).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    void createDownload(const QString &name) { ASSERT_TRUE(writeFile(QDir(downloadsPath()).filePath(name), {})); }

    QTemporaryDir home_;
    RecordingNotifier notifier_;
    RecordingClipboard clipboard_;
    // When not negative: the room on a small disk that holds only the file being written.
    std::atomic<qint64> diskSize_ = -1;
    FileReceiver receiver_{downloadsPath(), notifier_, clipboard_, 0,
                           [this](int descriptor) -> std::optional<std::uint64_t> {
                               const qint64 size = diskSize_;
                               if (size < 0)
                                   return DownloadsFile::freeSpaceOf(descriptor);
                               struct stat file {};
                               ::fstat(descriptor, &file);
                               return std::uint64_t(std::max<qint64>(0, size - file.st_size));
                           }};
};

} // namespace

TEST_F(FileReceiverTest, OneListenerPerPort)
{
    ASSERT_TRUE(receiver_.isListening());
    ASSERT_NE(port(), 0);

    testing::internal::CaptureStdout();
    FileReceiver second(downloadsPath(), notifier_, clipboard_, port());
    second.start();
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(second.isListening());
    EXPECT_EQ(second.port(), 0);
    EXPECT_NE(log.find("[FileReceiver] Not receiving files: cannot bind 127.0.0.1:" + std::to_string(port())),
              std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;

    // The first one carries on untouched, and starting it again changes nothing.
    receiver_.start();
    EXPECT_EQ(transfer(port(), textHeader(2), "hi"), acknowledged);
}

TEST_F(FileReceiverTest, TextGoesToTheClipboardWithItsPreview)
{
    const QString eightyOne = QString(80, QLatin1Char('a')) + QLatin1Char('b');
    EXPECT_EQ(transfer(port(), textHeader(81), eightyOne.toUtf8()), acknowledged);
    EXPECT_EQ(transfer(port(), textHeader(0), {}), acknowledged);

    EXPECT_EQ(clipboard_.texts(), (QStringList{eightyOne, QString()}));
    EXPECT_EQ(notifier_.notifications(),
              (QList<Notification>{
                  {QStringLiteral("Copied from phone"), QString(80, QLatin1Char('a')) + QChar(0x2026)},
                  {QStringLiteral("Copied from phone"), QString()},
              }));
    EXPECT_TRUE(downloads().isEmpty());
}

TEST_F(FileReceiverTest, FilesAreSavedUnderSafeUniqueNamesInDownloadsAndNothingIsOverwritten)
{
    createDownload(QStringLiteral("photo.jpg"));
    createDownload(QStringLiteral("photo (2).jpg"));
    EXPECT_EQ(transfer(port(), fileHeader(QJsonValue::Undefined, 1), "1"), acknowledged);
    EXPECT_EQ(transfer(port(), fileHeader(QStringLiteral("../../x.txt"), 1), "2"), acknowledged);
    EXPECT_EQ(transfer(port(), fileHeader(QStringLiteral("photo.jpg"), 3), "jpg"), acknowledged);

    EXPECT_EQ(downloads(), (QStringList{"Shared file", "photo (2).jpg", "photo (3).jpg", "photo.jpg", "x.txt"}));
    EXPECT_EQ(downloaded(QStringLiteral("x.txt")), "2");
    EXPECT_EQ(downloaded(QStringLiteral("photo.jpg")), "");
    EXPECT_EQ(downloaded(QStringLiteral("photo (2).jpg")), "");
    EXPECT_EQ(downloaded(QStringLiteral("photo (3).jpg")), "jpg");
    // Nothing escaped the Downloads folder.
    EXPECT_EQ(QDir(home_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"Downloads"});
    EXPECT_EQ(notifier_.notifications().value(1), Notification("Received from phone", "x.txt saved to Downloads"));
    EXPECT_EQ(notifier_.notifications().value(2),
              Notification("Received from phone", "photo (3).jpg saved to Downloads"));
}

TEST_F(FileReceiverTest, EmptyLargeAndOpenEndedFilesArriveIntact)
{
    EXPECT_EQ(transfer(port(), fileHeader(QStringLiteral("empty.txt"), 0), {}), acknowledged);
    EXPECT_EQ(downloaded(QStringLiteral("empty.txt")), "");

    // Bytes that differ all the way through, so a lost or repeated piece shows.
    QByteArray large(16 << 20, Qt::Uninitialized);
    std::uint32_t seed = 0x9e3779b9u;
    for (char &byte : large)
        byte = char((seed = seed * 1664525u + 1013904223u) >> 24);
    EXPECT_EQ(transfer(port(), fileHeader(QStringLiteral("large.bin"), large.size()), large), acknowledged);
    EXPECT_TRUE(downloaded(QStringLiteral("large.bin")) == large);

    // Of unknown length: everything up to the phone's half-close, in pieces.
    TransferClient client(port());
    client.sendHeader(fileHeader(QStringLiteral("stream.bin"), -1));
    QByteArray body;
    for (int piece = 0; piece < 5; ++piece) {
        const QByteArray bytes(100000 + piece, char('a' + piece));
        body += bytes;
        client.send(bytes);
    }
    client.finishSending();
    EXPECT_EQ(client.reply(), acknowledged);
    EXPECT_EQ(downloaded(QStringLiteral("stream.bin")), body);
    EXPECT_EQ(notifier_.notifications().size(), 3);
}

TEST_F(FileReceiverTest, FailedFileTransfersLeaveNothingBehind)
{
    // Cut off in the middle of a file of known size, by a half-close or a reset.
    {
        TransferClient client(port());
        client.sendHeader(fileHeader(QStringLiteral("cut.bin"), 1000000));
        client.send(QByteArray(500000, 'x'));
        client.finishSending();
        EXPECT_EQ(client.reply(), refused);
    }
    {
        TransferClient client(port());
        client.sendHeader(fileHeader(QStringLiteral("reset.bin"), -1));
        client.send(QByteArray(500000, 'x'));
        // A full round trip, so the bytes above have been handled.
        EXPECT_EQ(transfer(port(), textHeader(1), "p"), acknowledged);
        client.reset();
    }
    // A stream of unknown length stops before the disk is full.
    diskSize_ = 300000;
    {
        TransferClient client(port());
        client.sendHeader(fileHeader(QStringLiteral("endless.bin"), -1));
        client.send(QByteArray(1000000, 'x'));
        client.finishSending();
        EXPECT_EQ(client.reply(), refused);
    }
    // Leaves a moment for the reset to be seen, then checks through another transfer.
    diskSize_ = -1;
    EXPECT_EQ(transfer(port(), textHeader(1), "p"), acknowledged);
    EXPECT_TRUE(spinUntil([&] { return downloads().isEmpty(); }, std::chrono::seconds(2)))
        << downloads().join(' ').toStdString();
    EXPECT_EQ(notifier_.notifications().size(), 2); // only the two probe texts
}

TEST_F(FileReceiverTest, ConcurrentTransfersOfOneNameGetFilesOfTheirOwn)
{
    TransferClient first(port());
    TransferClient second(port());
    first.sendHeader(fileHeader(QStringLiteral("photo.jpg"), 6));
    second.sendHeader(fileHeader(QStringLiteral("photo.jpg"), 6));
    first.send("AAA");
    second.send("BBB");
    // Both files exist before either body is complete.
    spinUntil([&] { return downloads().size() == 2; }, std::chrono::seconds(5));
    first.send("aaa");
    second.send("bbb");
    first.finishSending();
    second.finishSending();
    EXPECT_EQ(first.reply(), acknowledged);
    EXPECT_EQ(second.reply(), acknowledged);

    const QStringList names = downloads();
    ASSERT_EQ(names, (QStringList{"photo (2).jpg", "photo.jpg"}));
    QStringList bodies{downloaded(names[0]), downloaded(names[1])};
    bodies.sort();
    EXPECT_EQ(bodies, (QStringList{"AAAaaa", "BBBbbb"}));
}

TEST_F(FileReceiverTest, StalledClientDoesNotHoldUpOthers)
{
    TransferClient stalled(port());
    stalled.send(QByteArray("\0\0", 2));
    TransferClient slowFile(port());
    slowFile.sendHeader(fileHeader(QStringLiteral("slow.bin"), 100));
    slowFile.send("half");

    EXPECT_EQ(transfer(port(), fileHeader(QStringLiteral("quick.txt"), 5), "quick"), acknowledged);
    EXPECT_EQ(downloaded(QStringLiteral("quick.txt")), "quick");
}

TEST_F(FileReceiverTest, StoppingRemovesPartialFilesAndFreesThePort)
{
    TransferClient client(port());
    client.sendHeader(fileHeader(QStringLiteral("partial.bin"), 1000));
    client.send(QByteArray(10, 'x'));
    ASSERT_EQ(transfer(port(), textHeader(1), "p"), acknowledged);
    ASSERT_EQ(downloads(), QStringList{"partial.bin"});

    const std::uint16_t used = port();
    receiver_.stop();
    EXPECT_FALSE(receiver_.isListening());
    EXPECT_EQ(client.reply(), refused);
    EXPECT_EQ(downloads(), QStringList());

    FileReceiver again(downloadsPath(), notifier_, clipboard_, used);
    again.start();
    EXPECT_TRUE(again.isListening());
    EXPECT_EQ(again.port(), used);
}

TEST_F(FileReceiverTest, RunningOutOfDescriptorsPausesAcceptingWithoutSpinning)
{
    // Connections the kernel completes before the receiver can take them.
    std::vector<std::unique_ptr<TransferClient>> waiting;
    for (int count = 0; count < 8; ++count)
        waiting.push_back(std::make_unique<TransferClient>(port()));

    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
    const int probe = ::dup(0); // the lowest free descriptor: nothing new can be opened
    ::close(probe);
    rlimit tight = original;
    tight.rlim_cur = rlim_t(probe);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);

    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ::getrusage(RUSAGE_SELF, &after);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &original), 0);

    const auto cpuMs = [](const rusage &usage) {
        return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    };
    // A listener left readable but unacceptable would keep a core busy the whole time.
    EXPECT_LT(cpuMs(after) - cpuMs(before), 100);

    // With descriptors back, the waiting connections are taken and served.
    for (auto &client : waiting) {
        client->sendHeader(textHeader(1));
        client->send("w");
        client->finishSending();
    }
    for (auto &client : waiting)
        EXPECT_EQ(client->reply(), acknowledged);
    EXPECT_EQ(clipboard_.texts().size(), 8);
}

TEST_F(FileReceiverTest, SilentConnectionsAreClosedAndLeaveNothing)
{
    const auto receiver = limitedReceiver({.idleTimeout = std::chrono::milliseconds(500)});
    const struct {
        const char *stage;
        QByteArray bytes;
        QByteArray reply;
    } cases[] = {
        {"header length", QByteArray("\0\0", 2), refused},
        {"header", bigEndianLength(40) + "{\"type\"", refused},
        {"text", wire(textHeader(50), "half"), refused},
        {"file", wire(fileHeader(QStringLiteral("a"), 50), "half"), refused},
        // Delivered whole; the receiver stops waiting for the phone's last byte.
        {"acknowledged", wire(textHeader(2), "ok"), acknowledged},
    };
    for (const auto &silent : cases) {
        TransferClient client(receiver->port());
        client.send(silent.bytes);
        EXPECT_EQ(client.reply(), silent.reply) << silent.stage;
        EXPECT_EQ(downloads(), QStringList()) << silent.stage;
    }

    // A slow phone that keeps sending outlives the time-out many times over.
    TransferClient slow(receiver->port());
    slow.sendHeader(fileHeader(QStringLiteral("slow.txt"), 16));
    for (int byte = 0; byte < 16; ++byte) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        slow.send("s");
    }
    EXPECT_EQ(slow.reply(), acknowledged);
    EXPECT_EQ(downloaded(QStringLiteral("slow.txt")), QByteArray(16, 's'));
}

TEST_F(FileReceiverTest, ConnectionsPastTheCapWaitUntilOneEnds)
{
    const auto receiver = limitedReceiver({.maximumConnections = 3});
    std::vector<std::unique_ptr<TransferClient>> served;
    for (int count = 0; count < 3; ++count)
        served.push_back(std::make_unique<TransferClient>(receiver->port()));

    TransferClient waiting(receiver->port());
    waiting.sendHeader(textHeader(4));
    waiting.send("wait");
    waiting.finishSending();
    EXPECT_EQ(waiting.reply(300), QByteArray("<timed out>"));
    EXPECT_TRUE(clipboard_.texts().isEmpty());

    // The connections being served carry on, and the first to end makes room.
    served[1]->sendHeader(fileHeader(QStringLiteral("served.txt"), 6));
    served[1]->send("served");
    served[1]->finishSending();
    EXPECT_EQ(served[1]->reply(), acknowledged);
    EXPECT_EQ(downloaded(QStringLiteral("served.txt")), "served");

    EXPECT_EQ(waiting.reply(), acknowledged);
    EXPECT_EQ(clipboard_.texts(), QStringList{QStringLiteral("wait")});
}

TEST_F(FileReceiverTest, TextsPastTheBudgetAreRefusedWhileFilesGoOn)
{
    constexpr qint64 mebibyte = 1 << 20;
    const auto receiver = limitedReceiver({.textBudget = 2 * mebibyte});
    // Two stalled texts that fill the budget exactly.
    TransferClient first(receiver->port());
    TransferClient second(receiver->port());
    for (TransferClient *stalled : {&first, &second}) {
        stalled->sendHeader(textHeader(mebibyte));
        stalled->send(QByteArray(1000, 'a'));
    }
    // Texts are refused once the receiver has seen both headers.
    EXPECT_TRUE(
        spinUntil([&] { return transfer(receiver->port(), textHeader(1), "p") == refused; }, std::chrono::seconds(5)));
    const qsizetype delivered = clipboard_.texts().size();

    EXPECT_EQ(transfer(receiver->port(), fileHeader(QStringLiteral("file.bin"), mebibyte), QByteArray(mebibyte, 'f')),
              acknowledged);
    EXPECT_EQ(downloaded(QStringLiteral("file.bin")).size(), mebibyte);

    // The stalled texts complete whole, and what they held is free again.
    for (TransferClient *stalled : {&first, &second}) {
        stalled->send(QByteArray(mebibyte - 1000, 'a'));
        stalled->finishSending();
        EXPECT_EQ(stalled->reply(), acknowledged);
    }
    EXPECT_EQ(transfer(receiver->port(), textHeader(2 * mebibyte), QByteArray(2 * mebibyte, 'b')), acknowledged);
    const QStringList texts = clipboard_.texts();
    ASSERT_EQ(texts.size(), delivered + 3);
    EXPECT_TRUE(texts[delivered] == QString(mebibyte, QLatin1Char('a')));
    EXPECT_EQ(texts.last().size(), 2 * mebibyte);
}

TEST_F(FileReceiverTest, FloodedReceiverLeavesDescriptorsForTheRestOfTheProcess)
{
    constexpr int cap = 8;
    constexpr int flood = 40;
    const auto receiver = limitedReceiver({.maximumConnections = cap});
    const auto openDescriptors = [] {
        int count = 0, highest = 0;
        for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            ++count;
            highest = std::max(highest, std::stoi(entry.path().filename().string()));
        }
        return std::pair{count, highest};
    };

    // Room for the flood's own sockets, the receiver's share of them, and a handful more.
    const auto [inUse, highest] = openDescriptors();
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit tight = original;
    tight.rlim_cur = rlim_t(std::max(highest + 1, inUse + flood + cap + 4));
    ASSERT_LE(tight.rlim_cur, original.rlim_max);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);

    std::vector<std::unique_ptr<TransferClient>> clients;
    for (int count = 0; count < flood; ++count)
        clients.push_back(std::make_unique<TransferClient>(receiver->port()));
    spinUntil([&] { return openDescriptors().first >= inUse + flood + cap; }, std::chrono::seconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    int pipe[2] = {-1, -1};
    const int piped = ::pipe(pipe);
    const int taken = openDescriptors().first - inUse - flood - (piped == 0 ? 2 : 0);
    if (piped == 0) {
        ::close(pipe[0]);
        ::close(pipe[1]);
    }
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &original), 0);
    EXPECT_EQ(piped, 0);
    EXPECT_EQ(taken, cap);
    for (const auto &client : clients)
        EXPECT_TRUE(client->connected());

    // The earliest connections are the ones being served.
    clients.front()->sendHeader(textHeader(5));
    clients.front()->send("first");
    clients.front()->finishSending();
    EXPECT_EQ(clients.front()->reply(), acknowledged);
}
