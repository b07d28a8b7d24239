#pragma once

#include "support/TimeScale.h"

#include <chrono>
#include <functional>

namespace lumarient::test {

// Makes sure a QCoreApplication exists, for tests that need Qt's event loop
// (queued calls, QProcess signals, timers).
void ensureApplication();

// Runs the event loop until `condition` holds or `limit` has passed; returns
// whether it holds.
bool spinUntil(const std::function<bool()> &condition,
               std::chrono::milliseconds limit = scaled(std::chrono::seconds(15)));

// Runs the event loop for `duration`.
void spinFor(std::chrono::milliseconds duration);

} // namespace lumarient::test
