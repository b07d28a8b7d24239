#pragma once

#include <chrono>

// Benchmarks that borrow the test helpers run at the plain build's pace.
#ifndef LUMARIENT_TEST_TIME_SCALE
#define LUMARIENT_TEST_TIME_SCALE 1
#endif

namespace lumarient::test {

// How many times slower this build runs than a plain one. Sanitizer builds set it
// (tests/CMakeLists.txt), so limits that stand for "promptly" stretch with the build
// while a plain build keeps holding the product to the real figure.
inline constexpr int timeScale = LUMARIENT_TEST_TIME_SCALE;

constexpr std::chrono::milliseconds scaled(std::chrono::milliseconds limit)
{
    return limit * timeScale;
}

constexpr int scaledMs(int ms)
{
    return ms * timeScale;
}

} // namespace lumarient::test
