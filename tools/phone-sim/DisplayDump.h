#pragma once

#include "SimState.h"

namespace phonesim {

// What `dumpsys display` prints on the phone.
std::string displayDump(const SimPhone &phone);

} // namespace phonesim
