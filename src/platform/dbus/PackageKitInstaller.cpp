#include "platform/dbus/PackageKitInstaller.h"

#include "platform/dbus/PackageKitTransaction.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace lumarient {
namespace {

bool meansNoService(QDBusError::ErrorType type)
{
    return type == QDBusError::ServiceUnknown || type == QDBusError::NoServer || type == QDBusError::Disconnected;
}

} // namespace

PackageKitInstaller::PackageKitInstaller(QDBusConnection bus, QObject *parent) : QObject(parent), bus_(std::move(bus))
{
}

void PackageKitInstaller::install(const QString &path, std::function<void(Outcome)> done)
{
    if (!bus_.isConnected()) {
        done({false, true, {}});
        return;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(
        PackageKitTransaction::service, QStringLiteral("/org/freedesktop/PackageKit"),
        QStringLiteral("org.freedesktop.PackageKit"), QStringLiteral("CreateTransaction"));
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path, done = std::move(done)](QDBusPendingCallWatcher *pending) mutable {
                pending->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *pending;
                if (reply.isError()) {
                    if (meansNoService(reply.error().type()))
                        done({false, true, {}});
                    else
                        done({false, false,
                              QStringLiteral("PackageKit could not start the installation: %1")
                                  .arg(reply.error().message())});
                    return;
                }
                auto *transaction = new PackageKitTransaction(bus_, reply.value().path(), std::move(done), this);
                transaction->installFile(path);
            });
}

} // namespace lumarient
