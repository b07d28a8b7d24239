#pragma once

#include "transfer/DownloadsFile.h"
#include "transfer/TransferSink.h"

#include <optional>

namespace lumarient {

class Clipboard;
class Notifier;

// Delivers what one connection receives: text to the clipboard, a file to the
// Downloads folder, each announced with a notification.
class TransferDelivery final : public TransferSink {
public:
    TransferDelivery(const QString &downloadsFolder, DownloadsFile::FreeSpace freeSpace, Notifier &notifier,
                     Clipboard &clipboard);

    void deliverText(const QString &text) override;
    bool createFile(const QString &name) override;
    bool appendToFile(const char *data, std::size_t length) override;
    bool completeFile() override;
    void discardFile() override;

private:
    DownloadsFile file_;
    Notifier &notifier_;
    Clipboard &clipboard_;
};

} // namespace lumarient
