#include "platform/dbus/DBusNotifier.h"
#include "platform/qt/QtClipboard.h"
#include "transfer/FileReceiver.h"

#include <QStandardPaths>

namespace lumarient {

FileReceiver &FileReceiver::shared()
{
    // Made on the main thread at launch and kept for the life of the process; the
    // app stops the receiver when it quits, before Qt goes away.
    static auto *notifier = new DBusNotifier();
    static auto *clipboard = new QtClipboard();
    static auto *receiver =
        new FileReceiver(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation), *notifier, *clipboard);
    return *receiver;
}

} // namespace lumarient
