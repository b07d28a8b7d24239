#pragma once

#include "updates/AppcastItem.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace lumarient {

// Reads an update feed: an RSS channel whose items carry their versions in the
// sparkle namespace and their package as an enclosure. Items this platform cannot
// use (no package, no signature, a package for another system) are skipped; a
// document that is not such a feed gives none and the reason in `error`.
std::optional<QList<AppcastItem>> parseAppcast(const QByteArray &xml, QString *error = nullptr);

// Orders version texts as release numbers do: runs of digits by value ("1.10" is
// after "1.9"), other characters by code, missing trailing zeros ignored ("1.0"
// equals "1.0.0"). Negative, zero or positive like strcmp.
int compareVersions(const QString &left, const QString &right);

// The newest of `items` that is newer than `current`, if any.
std::optional<AppcastItem> newestNewerThan(const QList<AppcastItem> &items, const QString &current);

} // namespace lumarient
