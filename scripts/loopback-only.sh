#!/usr/bin/env bash
# Runs a command in a new network namespace with only the loopback interface up.
# Needs root or unprivileged user namespaces.
set -euo pipefail
if [ "$(id -u)" -eq 0 ]; then
  exec unshare -n bash -c 'ip link set lo up && exec "$@"' _ "$@"
fi
exec unshare -r -n bash -c 'ip link set lo up && exec "$@"' _ "$@"
