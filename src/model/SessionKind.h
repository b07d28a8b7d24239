#pragma once

#include <QString>

#include <optional>

namespace lumarient {

// The three kinds of screen session.
enum class SessionKind { desktop, virtualDesktop, mirror };

// The raw value, which is also the label shown to the user.
QString rawValue(SessionKind kind);
// Accepts exactly the three raw values.
std::optional<SessionKind> sessionKindFromRawValue(const QString &text);

} // namespace lumarient
