#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test. The tests run in a network
# namespace that holds only loopback, so nothing they start can reach a real network.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${LUMARIENT_BUILD_DIR:-$top/build}"
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"
cd "$build"
jobs="$(nproc)"
exec "$top/scripts/loopback-only.sh" ctest --output-on-failure --parallel "$jobs" "$@"
