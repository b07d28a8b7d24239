#pragma once

#include <string>

namespace phonesim {

// What one simulated command prints (standard output and error together, as the
// app reads them) and the status it exits with.
struct Reply {
    std::string output;
    int exitCode = 0;
};

} // namespace phonesim
