#include "support/FakeLogind.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace lumarient::test {
namespace {

const QString root = QStringLiteral("/org/freedesktop/login1");

} // namespace

FakeLogind::FakeLogind(QDBusConnection bus) : bus_(std::move(bus))
{
    serving_ = bus_.registerVirtualObject(root, this, QDBusConnection::SubPath) &&
               bus_.registerService(QStringLiteral("org.freedesktop.login1"));
}

FakeLogind::~FakeLogind()
{
    bus_.unregisterObject(root, QDBusConnection::UnregisterTree);
}

void FakeLogind::lock(const QString &sessionPath)
{
    bus_.send(QDBusMessage::createSignal(sessionPath, QStringLiteral("org.freedesktop.login1.Session"),
                                         QStringLiteral("Lock")));
}

bool FakeLogind::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString member = message.member();
    calls.append(member);
    const QDBusMessage noSession =
        message.createErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"), QStringLiteral("No session"));
    QString path;
    if (member == QLatin1String("GetSessionByPID")) {
        path = sessionOfCaller;
    } else if (member == QLatin1String("GetSession") && !message.arguments().isEmpty()) {
        path = sessionsById.value(message.arguments().front().toString());
    } else if (member == QLatin1String("Get") && message.path().endsWith(QLatin1String("/session/auto"))) {
        connection.send(autoSessionId.isEmpty()
                            ? noSession
                            : message.createReply(QVariant::fromValue(QDBusVariant(autoSessionId))));
        return true;
    } else {
        connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), member));
        return true;
    }
    connection.send(path.isEmpty() ? noSession : message.createReply(QVariant::fromValue(QDBusObjectPath(path))));
    return true;
}

} // namespace lumarient::test
