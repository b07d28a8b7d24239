#include "platform/dbus/LogindSessionLockWatcher.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <unistd.h>

namespace lumarient {
namespace {

const QString logind = QStringLiteral("org.freedesktop.login1");
const QString managerPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");

} // namespace

LogindSessionLockWatcher::LogindSessionLockWatcher(QDBusConnection bus, QObject *parent)
    : QObject(parent), bus_(std::move(bus))
{
    if (bus_.isConnected())
        lookUp(Lookup::byProcess);
}

void LogindSessionLockWatcher::lookUp(Lookup step)
{
    QDBusMessage call;
    switch (step) {
    case Lookup::byProcess:
        call = QDBusMessage::createMethodCall(logind, managerPath, managerInterface, QStringLiteral("GetSessionByPID"));
        call << quint32(::getpid());
        break;
    case Lookup::byEnvironment: {
        const QString id = qEnvironmentVariable("XDG_SESSION_ID");
        if (id.isEmpty()) {
            lookUp(Lookup::byAutoSession);
            return;
        }
        call = QDBusMessage::createMethodCall(logind, managerPath, managerInterface, QStringLiteral("GetSession"));
        call << id;
        break;
    }
    case Lookup::byAutoSession:
        // Its Id names the real object, whose path the signals come from.
        call = QDBusMessage::createMethodCall(logind, QStringLiteral("/org/freedesktop/login1/session/auto"),
                                              QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call << sessionInterface << QStringLiteral("Id");
        break;
    }
    auto *pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, step] {
        pending->deleteLater();
        const QDBusMessage reply = pending->reply();
        const QList<QVariant> arguments = reply.arguments();
        const bool answered = reply.type() == QDBusMessage::ReplyMessage && arguments.size() == 1;
        if (step == Lookup::byAutoSession) {
            const QString id =
                answered ? qvariant_cast<QDBusVariant>(arguments.front()).variant().toString() : QString();
            if (id.isEmpty())
                return;
            QDBusMessage call =
                QDBusMessage::createMethodCall(logind, managerPath, managerInterface, QStringLiteral("GetSession"));
            call << id;
            auto *byId = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
            connect(byId, &QDBusPendingCallWatcher::finished, this, [this, byId] {
                byId->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> path = *byId;
                if (path.isValid())
                    watch(path.value());
            });
            return;
        }
        const QDBusPendingReply<QDBusObjectPath> path = *pending;
        if (path.isValid() && !path.value().path().isEmpty()) {
            watch(path.value());
            return;
        }
        lookUp(step == Lookup::byProcess ? Lookup::byEnvironment : Lookup::byAutoSession);
    });
}

void LogindSessionLockWatcher::watch(const QDBusObjectPath &path)
{
    if (!bus_.connect(logind, path.path(), sessionInterface, QStringLiteral("Lock"), this, SLOT(locked())))
        return;
    sessionPath_ = path.path();
    emit watching();
}

void LogindSessionLockWatcher::locked()
{
    if (handler_)
        handler_();
}

} // namespace lumarient
