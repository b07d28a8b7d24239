#pragma once

#include "updates/AppcastItem.h"

#include <QString>

namespace lumarient {

// How one check for updates ended. `ready` means a newer package was downloaded,
// its length and signature checked, and it waits at `packagePath`.
struct UpdateCheckResult {
    enum class Kind { upToDate, ready, failed };
    Kind kind = Kind::failed;
    AppcastItem item;
    QString packagePath;
    // For the user: why it failed, or which version is current.
    QString message;
};

} // namespace lumarient
