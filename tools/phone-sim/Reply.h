#pragma once

#include <string>

namespace phonesim {

// What one simulated command prints (standard output and error together, as the
// app reads them) and the status it exits with.
struct Reply {
    std::string output;
    int exitCode = 0;
    // A long-running phone program that takes over after the output is printed
    // ("input-server", "window-watcher"), and the USB serial of the phone it runs on.
    std::string phoneProgram = {};
    std::string phoneSerial = {};
};

} // namespace phonesim
