#pragma once

#include <QString>

namespace lumarient {

// Turns a text whose bold spans are marked with double asterisks into HTML for
// a rich-text label: the spans become bold, everything else is escaped. An
// unpaired marker is shown as it stands.
QString boldSpansToHtml(const QString &text);

} // namespace lumarient
