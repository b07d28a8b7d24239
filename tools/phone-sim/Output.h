#pragma once

// What the simulator's long-running stand-ins share: printing at once, and
// ending cleanly when they are told to.

#include <string>

namespace phonesim {

// Writes `text` to standard output and flushes it, as a phone program does.
void print(const std::string &text);

// From now on SIGTERM and SIGINT only set the flag `terminationRequested` reads.
void catchTermination();
bool terminationRequested();

} // namespace phonesim
