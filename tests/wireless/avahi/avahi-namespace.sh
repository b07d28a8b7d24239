#!/usr/bin/env bash
# Runs inside a network and mount namespace made for one test (see
# AvahiServiceDiscoveryTest): gives the namespace its own /run, a private pair of
# virtual interfaces, a D-Bus system bus and an avahi-daemon, publishes one adb service and
# runs the browse probe against it. Nothing here can reach a real interface.
#
# Usage: avahi-namespace.sh WORKDIR PROBE
# Exit 77 means the namespace could not be set up (the test then skips).
set -uo pipefail
work="$1"
probe="$2"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null
  done
  wait 2>/dev/null
}
trap cleanup EXIT

setup_failed() {
  echo "SETUP-FAILED: $*"
  exit 77
}

mount -t tmpfs tmpfs /run || setup_failed "cannot mount a private /run"
mkdir -p /run/dbus /run/avahi-daemon
ip link set lo up || setup_failed "cannot bring loopback up"
# A veth pair whose both ends stay in this namespace: a link with carrier and
# multicast, as avahi-daemon wants, that leads nowhere else.
ip link add lmr0 type veth peer name lmr1 || setup_failed "cannot create a veth pair"
ip addr add 10.77.0.1/24 dev lmr0
ip link set lmr1 up
ip link set lmr0 up

cat > "$work/bus.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
cat > "$work/avahi.conf" <<'CONF'
[server]
host-name=lumarient-test
use-ipv4=yes
use-ipv6=no
allow-interfaces=lmr0
enable-dbus=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
CONF
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket

dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile >"$work/dbus.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  [ -S /run/dbus/system_bus_socket ] && break
  sleep 0.05
done
[ -S /run/dbus/system_bus_socket ] || setup_failed "dbus-daemon did not start: $(cat "$work/dbus.log")"

# Without a daemon the probe must say so once and carry on.
echo "== without daemon"
"$probe" unavailable

avahi-daemon -f "$work/avahi.conf" --no-drop-root --no-chroot --no-rlimits --no-proc-title \
  >"$work/avahi.log" 2>&1 &
pids+=($!)
avahi_up=""
for _ in $(seq 1 200); do
  if grep -q "Server startup complete" "$work/avahi.log"; then
    avahi_up=yes
    break
  fi
  sleep 0.05
done
[ -n "$avahi_up" ] || setup_failed "avahi-daemon did not start: $(cat "$work/avahi.log")"

avahi-publish -s "adb-SIMPHONE-x1y2z3" _adb-tls-connect._tcp 41234 >"$work/publish.log" 2>&1 &
publisher=$!
pids+=($publisher)
avahi-publish -s "other-type-service" _adb-tls-pairing._tcp 40000 >"$work/publish2.log" 2>&1 &
pids+=($!)

echo "== with daemon"
"$probe" browse "$publisher"
echo "probe exit: $?"
