#include "platform/dbus/StatusNotifierHostWatcher.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace lumarient {
namespace {

const QString service = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString path = QStringLiteral("/StatusNotifierWatcher");

QDBusMessage hostQuestion()
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << service << QStringLiteral("IsStatusNotifierHostRegistered");
    return message;
}

// Anything but a boolean true, including a malformed reply, means no host.
bool saysRegistered(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return false;
    const QVariant value = reply.arguments().first().value<QDBusVariant>().variant();
    return value.metaType() == QMetaType::fromType<bool>() && value.toBool();
}

} // namespace

StatusNotifierHostWatcher::StatusNotifierHostWatcher(QDBusConnection bus, QObject *parent)
    : QObject(parent), bus_(std::move(bus)), nameWatcher_(service, bus_, QDBusServiceWatcher::WatchForOwnerChange)
{
    connect(&nameWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &newOwner) { ownerChanged(newOwner); });
    for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        bus_.connect(service, path, service, QLatin1String(signal), this, SLOT(hostsChanged()));
    if (bus_.isConnected())
        present_ = saysRegistered(bus_.call(hostQuestion(), QDBus::Block, replyLimitMs));
}

void StatusNotifierHostWatcher::hostsChanged()
{
    askAsync();
}

void StatusNotifierHostWatcher::ownerChanged(const QString &newOwner)
{
    if (newOwner.isEmpty()) {
        ++question_;
        setPresent(false);
    } else {
        askAsync();
    }
}

void StatusNotifierHostWatcher::askAsync()
{
    const std::uint64_t question = ++question_;
    auto *call = new QDBusPendingCallWatcher(bus_.asyncCall(hostQuestion(), replyLimitMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, question](QDBusPendingCallWatcher *answered) {
        answered->deleteLater();
        if (question == question_)
            setPresent(saysRegistered(answered->reply()));
    });
}

void StatusNotifierHostWatcher::setPresent(bool present)
{
    if (present == present_)
        return;
    present_ = present;
    if (handler_)
        handler_(present);
}

} // namespace lumarient
