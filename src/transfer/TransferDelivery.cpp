#include "transfer/TransferDelivery.h"

#include "platform/Clipboard.h"
#include "platform/Notifier.h"
#include "transfer/TextPreview.h"

namespace lumarient {

TransferDelivery::TransferDelivery(const QString &downloadsFolder, DownloadsFile::FreeSpace freeSpace,
                                   Notifier &notifier, Clipboard &clipboard)
    : file_(downloadsFolder, std::move(freeSpace)), notifier_(notifier), clipboard_(clipboard)
{
}

void TransferDelivery::deliverText(const QString &text)
{
    clipboard_.setText(text);
    notifier_.notify(QStringLiteral("Copied from phone"), textPreview(text));
}

bool TransferDelivery::createFile(const QString &name)
{
    return file_.create(name);
}

bool TransferDelivery::appendToFile(const char *data, std::size_t length)
{
    return file_.append(data, length);
}

bool TransferDelivery::completeFile()
{
    file_.keep();
    notifier_.notify(QStringLiteral("Received from phone"), file_.fileName() + QStringLiteral(" saved to Downloads"));
    return true;
}

void TransferDelivery::discardFile()
{
    file_.remove();
}

} // namespace lumarient
