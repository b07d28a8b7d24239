#include "wireless/PathSignature.h"

#include <QStringList>

namespace lumarient {
namespace {

QString statusText(NetworkPath::Status status)
{
    switch (status) {
    case NetworkPath::Status::satisfied:
        return QStringLiteral("satisfied");
    case NetworkPath::Status::unsatisfied:
        return QStringLiteral("unsatisfied");
    case NetworkPath::Status::requiresConnection:
        return QStringLiteral("requiresConnection");
    }
    return QStringLiteral("unknown");
}

} // namespace

QString pathSignature(const NetworkPath &path)
{
    QStringList quoted;
    for (const QString &name : path.interfaces)
        quoted.append(QLatin1Char('"') + name + QLatin1Char('"'));
    return statusText(path.status) + QStringLiteral("|[") + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

} // namespace lumarient
