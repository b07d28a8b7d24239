#!/usr/bin/env bash
# Runs inside a network namespace made for one test (see NetlinkPathMonitorTest):
# starts the path probe, then adds, addresses and removes a private veth pair,
# waiting after each step for the probe to report the new path. Prints the
# probe's lines at the end.
#
# Usage: path-namespace.sh WORKDIR PROBE
# Exit 77 means the namespace could not be set up (the test then skips).
set -uo pipefail
work="$1"
probe="$2"
out="$work/paths.txt"
ip link set lo up || { echo "SETUP-FAILED: cannot bring loopback up"; exit 77; }

"$probe" >"$out" 2>&1 &
probe_pid=$!
trap 'kill "$probe_pid" 2>/dev/null; wait 2>/dev/null' EXIT

# Waits until the probe's last line matches the extended regular expression $1.
wait_for_last() {
  for _ in $(seq 1 200); do
    tail -n 1 "$out" | grep -qE "$1" && return 0
    sleep 0.05
  done
  echo "NEVER-SAW: $1"
  cat "$out"
  exit 1
}

wait_for_last '^PATH unsatisfied\|\[\]$'
ip link add lmr0 type veth peer name lmr1 || { echo "SETUP-FAILED: cannot create a veth pair"; exit 77; }
ip link set lmr0 up
ip link set lmr1 up
wait_for_last '^PATH unsatisfied\|\[.*"lmr0".*\]$'
ip addr add 10.78.0.1/24 dev lmr0
wait_for_last '^PATH satisfied\|\[.*"lmr0".*\]$'
ip link del lmr0
wait_for_last '^PATH unsatisfied\|\[\]$'
kill "$probe_pid"
wait "$probe_pid"
cat "$out"
