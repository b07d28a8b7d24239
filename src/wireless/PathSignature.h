#pragma once

#include "platform/NetworkPathMonitor.h"

#include <QString>

namespace lumarient {

// A text that changes exactly when the path's status or its list of interfaces
// changes: the status, "|", then the interface names in order as a bracketed,
// quoted list, e.g. `satisfied|["enp3s0", "wlp2s0"]`.
QString pathSignature(const NetworkPath &path);

} // namespace lumarient
