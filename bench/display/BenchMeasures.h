#pragma once

#include <QString>

#include <chrono>
#include <vector>

namespace lumarient::bench {

using SteadyTime = std::chrono::steady_clock::time_point;

double millisecondsBetween(SteadyTime from, SteadyTime to);
// The value below which `fraction` of `values` lie (0.5 the median, 1 the largest); 0 for none.
double percentile(std::vector<double> values, double fraction);
// CPU seconds (user and system) from a /proc stat file of a process or thread; 0 when unreadable.
double cpuSecondsOf(const QString &statPath);
// CPU seconds of this process's threads, except the benchmark's own ("bench-...")
// and the stand-ins for desktop services it runs in-process ("fake-...").
double ownThreadsCpuSeconds();
// One line: "what" and the minimum, median and maximum of `values`; nothing for none.
void printRange(const char *what, std::vector<double> values, const char *unit);

} // namespace lumarient::bench
