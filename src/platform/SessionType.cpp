#include "platform/SessionType.h"

namespace lumarient {

SessionType sessionTypeOf(const QProcessEnvironment &environment)
{
    const QString forced = environment.value(QStringLiteral("LUMARIENT_SESSION_TYPE")).trimmed().toLower();
    if (forced == QLatin1String("x11"))
        return SessionType::x11;
    if (forced == QLatin1String("wayland"))
        return SessionType::wayland;
    const bool wayland =
        environment.value(QStringLiteral("XDG_SESSION_TYPE")).trimmed().toLower() == QLatin1String("wayland") ||
        !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    return wayland ? SessionType::wayland : SessionType::x11;
}

} // namespace lumarient
