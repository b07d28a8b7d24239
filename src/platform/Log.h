#pragma once

#include <QString>

namespace lumarient {

// Writes one diagnostic line, "[<component>] <message>", to standard output and
// flushes it at once, so lines from several threads never interleave mid-line.
void logLine(const QString &component, const QString &message);

} // namespace lumarient
