#pragma once

#include <QString>

namespace lumarient {

// The notification preview of received text: the text itself up to 80
// characters, else its first 80 characters followed by "…". Characters are
// what the user sees as one (grapheme clusters), so none is cut in half.
QString textPreview(const QString &text);

} // namespace lumarient
