#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

namespace lumarient::cli {

// The app's state as it came over the bus (a QDBusArgument or a map), with the nested lists of a{sv}
// turned into plain QVariantLists of QVariantMaps.
QVariantMap plainState(const QVariant &received);

// `devices`: one line per phone, "name  serial  connection  state".
QString devicesText(const QVariantMap &state);
// `status`: the menu's view, one line per configuration, then the rest.
QString statusText(const QVariantMap &state);

QByteArray toJson(const QVariant &value);

// The exit code for a call that ended with the bus error `name`.
int exitCodeForError(const QString &name);

} // namespace lumarient::cli
