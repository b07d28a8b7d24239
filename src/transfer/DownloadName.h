#pragma once

#include <QString>

#include <optional>

namespace lumarient {

// The name a received file is saved under: the last path component of the phone's
// name without control characters and without the bidirectional marks that
// could make it read as another name; "Shared file" when that leaves nothing usable
// (absent, empty, "." or ".."). The result never holds "/".
QString safeFileName(const std::optional<QString> &name);

// The candidates tried in turn for `name` in the Downloads folder: the name itself
// for `number` 1, then "photo (2).jpg", "photo (3).jpg", ... or "notes (2)" without
// an extension. Shortened to fit the file system's 255-byte name limit, never
// down to a name that starts with the extension's dot.
QString numberedFileName(const QString &name, int number);

} // namespace lumarient
