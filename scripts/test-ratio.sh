#!/usr/bin/env bash
# Prints the non-blank lines of the tests against those of the code they test
# (src, tools and bench): *.cpp, *.h, *.c and CMakeLists.txt files.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name CMakeLists.txt \) -print0 |
    xargs -0 cat | grep -cv '^[[:space:]]*$'
}
cd "$top"
code=$(count src tools bench)
tests=$(count tests)
echo "tests $tests / code $code = $(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.1f %%", 100 * t / c }')"
