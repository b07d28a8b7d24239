#pragma once

#include <QString>

// The names under which the running app answers on the session bus. Shared by
// the app and lumarient-cli, which links nothing else of the app.
namespace lumarient::bus {

inline QString serviceName()
{
    return QStringLiteral("com.corvantil.Lumarient");
}
inline QString objectPath()
{
    return QStringLiteral("/com/corvantil/Lumarient");
}
inline QString interfaceName()
{
    return QStringLiteral("com.corvantil.Lumarient");
}

// Errors a call can end with, besides the bus's own.
// The name matches no configuration or phone, or more than one.
inline QString unknownNameError()
{
    return QStringLiteral("com.corvantil.Lumarient.Error.UnknownName");
}
inline QString ambiguousNameError()
{
    return QStringLiteral("com.corvantil.Lumarient.Error.AmbiguousName");
}
// An argument no call could succeed with.
inline QString invalidArgumentsError()
{
    return QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
}
// The menu does not offer the action for that phone now.
inline QString notAvailableError()
{
    return QStringLiteral("com.corvantil.Lumarient.Error.NotAvailable");
}
// The action ran and failed; the message is the app's own error text.
inline QString failedError()
{
    return QStringLiteral("com.corvantil.Lumarient.Error.Failed");
}

} // namespace lumarient::bus
