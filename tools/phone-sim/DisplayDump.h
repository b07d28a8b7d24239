#pragma once

#include "SimState.h"

#include <QString>

namespace phonesim {

// What `dumpsys display` prints on the phone.
QString displayDump(const SimPhone &phone);

} // namespace phonesim
