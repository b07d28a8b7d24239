#!/usr/bin/env bash
# Prints the non-blank C++ lines of the tests against those of the code they test
# (src, tools and bench), and the share the tests make of it.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
count() { find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat | grep -cv '^[[:space:]]*$'; }
cd "$top"
tests=$(count tests)
code=$(count src tools bench)
echo "tests ${tests}  code ${code}  share $((1000 * tests / code / 10)).$((1000 * tests / code % 10)) %"
