#pragma once

#include "transfer/DownloadsFile.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace lumarient {

class Clipboard;
class Notifier;

// What one phone, or anyone else on this computer, may hold of the receiver.
struct FileReceiverLimits {
    // A connection that sends nothing for this long is closed, its partial file removed.
    std::chrono::milliseconds idleTimeout = std::chrono::seconds(30);
    // Connections served at once, well below the descriptor limit. Further ones wait,
    // unaccepted, in the listen queue until one ends, so a burst of transfers from a
    // phone is served late rather than refused.
    std::size_t maximumConnections = 64;
    // Bytes that texts in flight may hold together; a text that would go past it is
    // refused before its body is read.
    std::uint64_t textBudget = 32u << 20;
};

// The computer's end of file and clipboard transfers from the phone: a TCP
// listener on 127.0.0.1 (the phone reaches it through `adb reverse`), one
// transfer per connection. The listener and every connection run on one worker
// loop of their own, "lum-receiver", with non-blocking sockets, so a slow or
// hostile client holds up neither the user interface nor other transfers.
class FileReceiver {
public:
    static constexpr std::uint16_t transferPort = 38017;

    // `port` 0 takes any free port (see port()).
    FileReceiver(QString downloadsFolder, Notifier &notifier, Clipboard &clipboard, std::uint16_t port = transferPort,
                 DownloadsFile::FreeSpace freeSpace = DownloadsFile::freeSpaceOf, FileReceiverLimits limits = {});
    ~FileReceiver();

    FileReceiver(const FileReceiver &) = delete;
    FileReceiver &operator=(const FileReceiver &) = delete;

    // Starts listening; does nothing when already listening. When the port cannot
    // be had, logs one line and stays without a listener.
    void start();
    // Closes the listener and every connection; partial files are removed.
    void stop();

    bool isListening() const { return listening_ != nullptr; }
    // The port listened on, or 0 when not listening.
    std::uint16_t port() const { return boundPort_; }

private:
    struct Listening;

    QString downloadsFolder_;
    Notifier &notifier_;
    Clipboard &clipboard_;
    std::uint16_t requestedPort_;
    DownloadsFile::FreeSpace freeSpace_;
    FileReceiverLimits limits_;

    std::unique_ptr<Listening> listening_;
    std::uint16_t boundPort_ = 0;
};

} // namespace lumarient
