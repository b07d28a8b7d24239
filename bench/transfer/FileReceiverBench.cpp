// Sends 1 GiB over loopback to the file receiver and, in the same run, through a
// plain socket-to-file copy (the ceiling on this machine), and prints both
// throughputs: every run, then the medians.

#include "platform/Clipboard.h"
#include "platform/Notifier.h"
#include "transfer/FileReceiver.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lumarient;

namespace {

constexpr std::int64_t totalBytes = std::int64_t(1) << 30;
constexpr std::size_t readStep = 262144;

struct Silent final : Notifier, Clipboard {
    void notify(const QString &, const QString &) override {}
    void setText(const QString &) override {}
};

int connectTo(std::uint16_t port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    return socket;
}

void sendAll(int socket, const char *data, std::size_t length)
{
    while (length > 0) {
        const ssize_t sent = ::send(socket, data, length, MSG_NOSIGNAL);
        if (sent <= 0) {
            std::perror("send");
            std::exit(1);
        }
        data += sent;
        length -= std::size_t(sent);
    }
}

// The phone's side: optional header bytes, 1 GiB, then wait for the one-byte answer.
// Returns the seconds from connecting to the answer.
double sendGibibyte(std::uint16_t port, const QByteArray &header, const std::vector<char> &pattern)
{
    const auto start = std::chrono::steady_clock::now();
    const int socket = connectTo(port);
    sendAll(socket, header.constData(), std::size_t(header.size()));
    for (std::int64_t sent = 0; sent < totalBytes; sent += std::int64_t(pattern.size()))
        sendAll(socket, pattern.data(), pattern.size());
    ::shutdown(socket, SHUT_WR);
    char answer = 0;
    if (::recv(socket, &answer, 1, 0) != 1 || answer != 1) {
        std::fprintf(stderr, "no acknowledgement\n");
        std::exit(1);
    }
    ::close(socket);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The ceiling: accept, read in the receiver's step size, write to a file, answer one byte.
double plainCopy(const QString &folder, const std::vector<char> &pattern)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);

    const QByteArray path = QDir(folder).filePath(QStringLiteral("plain.bin")).toLocal8Bit();
    std::thread server([&] {
        const int socket = ::accept(listener, nullptr, nullptr);
        const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        std::vector<char> buffer(readStep);
        std::int64_t received = 0;
        while (received < totalBytes) {
            const ssize_t count = ::recv(socket, buffer.data(), buffer.size(), 0);
            if (count <= 0)
                break;
            if (::write(file, buffer.data(), std::size_t(count)) != count)
                break;
            received += count;
        }
        ::close(file);
        const char answer = 1;
        ::send(socket, &answer, 1, MSG_NOSIGNAL);
        ::close(socket);
    });
    const double seconds = sendGibibyte(ntohs(address.sin_port), {}, pattern);
    server.join();
    ::close(listener);
    ::unlink(path.constData());
    return seconds;
}

double throughReceiver(FileReceiver &receiver, const QString &folder, const std::vector<char> &pattern)
{
    const QByteArray json = QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("file")},
                                                      {QStringLiteral("name"), QStringLiteral("received.bin")},
                                                      {QStringLiteral("size"), qint64(totalBytes)}})
                                .toJson(QJsonDocument::Compact);
    const char length[4] = {0, 0, char(json.size() >> 8), char(json.size())};
    const double seconds = sendGibibyte(receiver.port(), QByteArray(length, 4) + json, pattern);
    QFile::remove(QDir(folder).filePath(QStringLiteral("received.bin")));
    return seconds;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double mibPerSecond(double seconds)
{
    return double(totalBytes) / (1 << 20) / seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // On the disk, not in memory: the folder sits under the working directory by default.
    const QString base = qEnvironmentVariable("LUMARIENT_BENCH_DIR", QDir::currentPath());
    QTemporaryDir folder(QDir(base).filePath(QStringLiteral("transfer-bench-XXXXXX")));
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot make a folder under %s\n", qPrintable(base));
        return 1;
    }

    std::vector<char> pattern(4 << 20);
    for (std::size_t index = 0; index < pattern.size(); ++index)
        pattern[index] = char(index * 2654435761u >> 13);

    Silent silent;
    FileReceiver receiver(folder.path(), silent, silent, 0);
    receiver.start();

    std::vector<double> plain, received;
    std::printf("1 GiB over loopback into %s\n", qPrintable(folder.path()));
    for (int run = 0; run < runs; ++run) {
        // Alternating which goes first keeps the page cache's state from favouring either.
        for (int turn = 0; turn < 2; ++turn) {
            ::sync();
            if ((turn + run) % 2 == 0)
                plain.push_back(mibPerSecond(plainCopy(folder.path(), pattern)));
            else
                received.push_back(mibPerSecond(throughReceiver(receiver, folder.path(), pattern)));
        }
        std::printf("run %d: plain socket-to-file %.0f MiB/s, file receiver %.0f MiB/s\n", run + 1, plain.back(),
                    received.back());
        std::fflush(stdout);
    }
    const double ceiling = median(plain);
    const double receiverMedian = median(received);
    std::printf("median of %d: plain socket-to-file %.0f MiB/s (ceiling), file receiver %.0f MiB/s = %.1f %% of it\n",
                runs, ceiling, receiverMedian, 100.0 * receiverMedian / ceiling);
    return 0;
}
