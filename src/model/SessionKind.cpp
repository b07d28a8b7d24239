#include "model/SessionKind.h"

namespace lumarient {

QString rawValue(SessionKind kind)
{
    switch (kind) {
    case SessionKind::desktop:
        return QStringLiteral("Desktop");
    case SessionKind::virtualDesktop:
        return QStringLiteral("Desktop (invisible)");
    case SessionKind::mirror:
        return QStringLiteral("Mirror");
    }
    return QString();
}

std::optional<SessionKind> sessionKindFromRawValue(const QString &text)
{
    for (SessionKind kind : {SessionKind::desktop, SessionKind::virtualDesktop, SessionKind::mirror}) {
        if (rawValue(kind) == text)
            return kind;
    }
    return std::nullopt;
}

} // namespace lumarient
