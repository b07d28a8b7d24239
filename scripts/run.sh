#!/usr/bin/env bash
# Installs what is needed, builds, and runs Lumarient. Arguments go to the app.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${LUMARIENT_BUILD_DIR:-$top/build}"
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh"
exec "$build/src/app/lumarient" "$@"
