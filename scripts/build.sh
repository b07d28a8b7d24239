#!/usr/bin/env bash
# Configures and builds Lumarient into build/ (or $LUMARIENT_BUILD_DIR).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${LUMARIENT_BUILD_DIR:-$top/build}"
# Paths below the checkout are hashed relative to it, so clones in other folders share the cache.
export CCACHE_BASEDIR="$top"
# Room for the plain and the two sanitizer trees, so that a second run is mostly cache hits.
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-15G}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build"
