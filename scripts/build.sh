#!/usr/bin/env bash
# Configures and builds Lumarient into build/ (or $LUMARIENT_BUILD_DIR).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${LUMARIENT_BUILD_DIR:-$top/build}"
# Paths below the checkout are hashed relative to it, so clones in other folders share the cache.
export CCACHE_BASEDIR="$top"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build"
