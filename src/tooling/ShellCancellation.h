#pragma once

#include <chrono>
#include <optional>

namespace lumarient::ShellCancellation {

using Clock = std::chrono::steady_clock;

// The moment from which every command is to be stopped, once cancelAll has been
// called; absent before.
std::optional<Clock::time_point> stopTime();

// A descriptor that becomes readable (and stays so) when cancelAll is called,
// for runs to wait on beside their child; -1 when none could be made, in
// which case runs look at stopTime every so often instead.
int wakeDescriptor();

} // namespace lumarient::ShellCancellation
