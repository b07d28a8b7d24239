#include "cli/StateText.h"

#include "api/BusNames.h"
#include "cli/CliCommand.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QJsonDocument>
#include <QStringList>

namespace lumarient::cli {
namespace {

QVariantList mapsOf(const QVariant &value)
{
    QVariantList list;
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const auto argument = value.value<QDBusArgument>();
        if (argument.currentSignature() == QStringLiteral("aa{sv}")) {
            for (const QVariantMap &map : qdbus_cast<QList<QVariantMap>>(argument))
                list.append(map);
        }
        return list;
    }
    for (const QVariant &item : value.toList())
        list.append(item.toMap());
    return list;
}

QString line(const QStringList &columns)
{
    return columns.join(QStringLiteral("  ")) + QLatin1Char('\n');
}

} // namespace

QVariantMap plainState(const QVariant &reply)
{
    const QVariantMap received = qdbus_cast<QVariantMap>(reply);
    QVariantMap state = received;
    for (const QString &key : {QStringLiteral("phones"), QStringLiteral("configurations")})
        state.insert(key, mapsOf(received.value(key)));
    return state;
}

QString devicesText(const QVariantMap &state)
{
    const QVariantList phones = state.value(QStringLiteral("phones")).toList();
    if (phones.isEmpty())
        return QStringLiteral("No devices — plug in a phone with USB debugging on\n");
    QString text;
    for (const QVariant &item : phones) {
        const QVariantMap phone = item.toMap();
        text += line({phone.value(QStringLiteral("name")).toString(), phone.value(QStringLiteral("serial")).toString(),
                      phone.value(QStringLiteral("connection")).toString(),
                      phone.value(QStringLiteral("state")).toString()});
    }
    return text;
}

QString statusText(const QVariantMap &state)
{
    QString text;
    if (state.value(QStringLiteral("waitingForApproval")).toBool())
        text += QStringLiteral("⏳ Phone waiting for approval — tap Allow on its screen\n");
    const QVariantList configurations = state.value(QStringLiteral("configurations")).toList();
    for (const QVariant &item : configurations) {
        const QVariantMap configuration = item.toMap();
        text += configuration.value(QStringLiteral("name")).toString() + QStringLiteral(" — ") +
                configuration.value(QStringLiteral("status")).toString();
        if (configuration.value(QStringLiteral("secondDisplay")).toBool())
            text += QStringLiteral(", second display");
        if (configuration.value(QStringLiteral("keyboardMouse")).toBool())
            text += QStringLiteral(", keyboard & mouse");
        text += QLatin1Char('\n');
    }
    if (configurations.isEmpty() && !state.value(QStringLiteral("waitingForApproval")).toBool())
        text += QStringLiteral("No devices — plug in a phone with USB debugging on\n");
    if (state.value(QStringLiteral("scanning")).toBool())
        text += QStringLiteral("Scanning Network…\n");
    for (const QString &name : state.value(QStringLiteral("pairingCandidates")).toStringList())
        text += QStringLiteral("Offering a pairing code: ") + name + QLatin1Char('\n');
    for (const QString &error : state.value(QStringLiteral("errors")).toStringList())
        text += QStringLiteral("⚠️ ") + error + QLatin1Char('\n');
    return text;
}

QByteArray toJson(const QVariant &value)
{
    return QJsonDocument::fromVariant(value).toJson(QJsonDocument::Indented);
}

int exitCodeForError(const QString &name)
{
    static const QStringList notRunning = {
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.NoServer"),
        QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
    };
    if (notRunning.contains(name))
        return exitNotRunning;
    if (name == bus::unknownNameError() || name == bus::ambiguousNameError() || name == bus::invalidArgumentsError())
        return exitUsage;
    return exitFailed;
}

} // namespace lumarient::cli
