#pragma once

#include <QString>

#include <optional>

namespace lumarient {

// A Wi-Fi port typed by the user: a whole number from 1 to 65535.
std::optional<int> parseWifiPort(const QString &text);

// An overlay-display resolution typed by the user: width "x" height "/" density,
// decimal numbers only. Anything else would reach the phone's shell as typed.
bool isValidResolution(const QString &text);

} // namespace lumarient
