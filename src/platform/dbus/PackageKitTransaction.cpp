#include "platform/dbus/PackageKitTransaction.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace lumarient {
namespace {

const QString transactionInterface = QStringLiteral("org.freedesktop.PackageKit.Transaction");
// PackageKit's exit code for a transaction that did what it was asked.
constexpr uint exitSuccess = 1;

} // namespace

const QString PackageKitTransaction::service = QStringLiteral("org.freedesktop.PackageKit");

PackageKitTransaction::PackageKitTransaction(QDBusConnection bus, QString path,
                                             std::function<void(PackageInstaller::Outcome)> done, QObject *parent)
    : QObject(parent), bus_(std::move(bus)), path_(std::move(path)), done_(std::move(done)),
      serviceWatcher_(service, bus_, QDBusServiceWatcher::WatchForUnregistration)
{
    bus_.connect(service, path_, transactionInterface, QStringLiteral("ErrorCode"), this,
                 SLOT(errorCode(uint, QString)));
    bus_.connect(service, path_, transactionInterface, QStringLiteral("Finished"), this, SLOT(finished(uint, uint)));
    connect(&serviceWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        report({false, false, QStringLiteral("PackageKit stopped before the update was installed.")});
    });
}

void PackageKitTransaction::installFile(const QString &file)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path_, transactionInterface, QStringLiteral("InstallFiles"));
    // No flags: the package is ours, not from a configured repository, so it is
    // installed as untrusted, which PackageKit authorises with the user.
    call << QVariant::fromValue(qulonglong(0)) << QStringList{file};
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, -1), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (call->isError())
            report({false, false, QStringLiteral("PackageKit refused the update: %1").arg(call->error().message())});
    });
}

void PackageKitTransaction::errorCode(uint, const QString &details)
{
    lastError_ = details;
}

void PackageKitTransaction::finished(uint exit, uint)
{
    if (exit == exitSuccess)
        report({true, false, {}});
    else
        report({false, false,
                lastError_.isEmpty() ? QStringLiteral("The update was not installed.")
                                     : QStringLiteral("The update was not installed: %1").arg(lastError_)});
}

void PackageKitTransaction::report(PackageInstaller::Outcome outcome)
{
    if (!done_)
        return;
    auto done = std::exchange(done_, nullptr);
    bus_.disconnect(service, path_, transactionInterface, QStringLiteral("ErrorCode"), this,
                    SLOT(errorCode(uint, QString)));
    bus_.disconnect(service, path_, transactionInterface, QStringLiteral("Finished"), this, SLOT(finished(uint, uint)));
    deleteLater();
    done(std::move(outcome));
}

} // namespace lumarient
