#pragma once

#include "transfer/DownloadsFile.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <thread>

namespace lumarient {

class Clipboard;
class Notifier;

// The computer's end of file and clipboard transfers from the phone: a TCP
// listener on 127.0.0.1 (the phone reaches it through `adb reverse`), one
// transfer per connection. The listener and every connection run on one thread of
// their own, "lumarient.filereceiver", with non-blocking sockets, so a slow or
// hostile client holds up neither the user interface nor other transfers.
class FileReceiver {
public:
    static constexpr std::uint16_t transferPort = 38017;

    // `port` 0 takes any free port (see port()).
    FileReceiver(QString downloadsFolder, Notifier &notifier, Clipboard &clipboard, std::uint16_t port = transferPort,
                 DownloadsFile::FreeSpace freeSpace = DownloadsFile::freeSpaceOf);
    ~FileReceiver();

    FileReceiver(const FileReceiver &) = delete;
    FileReceiver &operator=(const FileReceiver &) = delete;

    // Starts listening; does nothing when already listening. When the port cannot
    // be had, logs one line and stays without a listener.
    void start();
    // Closes the listener and every connection; partial files are removed.
    void stop();

    bool isListening() const { return thread_.joinable(); }
    // The port listened on, or 0 when not listening.
    std::uint16_t port() const { return boundPort_; }

private:
    void run(std::stop_token stop);

    QString downloadsFolder_;
    Notifier &notifier_;
    Clipboard &clipboard_;
    std::uint16_t requestedPort_;
    DownloadsFile::FreeSpace freeSpace_;

    int listener_ = -1;
    int poller_ = -1;
    int wakeUp_ = -1;
    std::uint16_t boundPort_ = 0;
    std::jthread thread_;
};

} // namespace lumarient
