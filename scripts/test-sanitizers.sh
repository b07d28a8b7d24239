#!/usr/bin/env bash
# Builds and runs the suite under sanitizers, each tree once, in a folder of its own
# (build-asan, build-tsan, or below $LUMARIENT_SANITIZER_ROOT), without benchmarks
# or the libFuzzer target, through the compiler cache. Every report ends its test
# at once.
#   1. AddressSanitizer + UndefinedBehaviorSanitizer: every test.
#   2. ThreadSanitizer: the suites whose code runs threads of its own.
# Like test.sh, the tests run in a network namespace that holds only loopback.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
root="${LUMARIENT_SANITIZER_ROOT:-$top}"
export CCACHE_BASEDIR="$top"
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-15G}"
# These trees are only for tests: their debug information may name the folder of
# whichever clone compiled an object first, and in return a clone in any folder
# (CI's among them) reuses the compiler cache.
export CCACHE_NOHASHDIR=1
"$top/scripts/install-deps.sh"
jobs="$(nproc)"
plain=(-DLUMARIENT_BUILD_BENCHMARKS=OFF -DLUMARIENT_FUZZ=OFF)

# Both trees always run, so one run shows every finding; the exit status is the
# first failure's.
status=0
run_tests() {
  local build="$1"
  shift
  (cd "$build" && "$top/scripts/loopback-only.sh" ctest --output-on-failure --parallel "$jobs" "$@") && return 0
  local failed=$?
  [ "$status" -ne 0 ] || status=$failed
}

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
asan="$root/build-asan"
start=$SECONDS
LUMARIENT_BUILD_DIR="$asan" "$top/scripts/build.sh" "${plain[@]}" \
  "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
  "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address,undefined"
ASAN_OPTIONS=halt_on_error=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  run_tests "$asan" -E '_NOT_BUILT$'
echo "== AddressSanitizer + UndefinedBehaviorSanitizer: $((SECONDS - start)) s"

# Only the suites of code that runs threads of its own are built: the others would
# cost CI time and find nothing a thread sanitizer looks for.
echo "== ThreadSanitizer"
tsan="$root/build-tsan"
start=$SECONDS
threaded=(transfer_tests display_tests wireless_tests device_manager_tests platform_tests input_tests appwindows_tests)
cmake -S "$top" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${plain[@]}" \
  "-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread" \
  "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread" >/dev/null
cmake --build "$tsan" --target "${threaded[@]}"
# Tests of executables outside that list (the fuzz replay, the layer checks, the package) are not built here.
# die_after_fork=0: the tests start child processes (QProcess) from threaded
# processes; without it the sanitizer ends such a test before the child runs its
# program, with no race reported.
# Left out: the input manager's tests, which keep phones' long-lived adb children
# running while their writer threads work. Qt starts children with vfork
# semantics (clone with CLONE_VM|CLONE_VFORK), and the child's own code calls libc
# through the sanitizer's interceptors on memory and thread state it shares with
# the parent. After that the sanitizer now and then reports a race on a live heap
# block as if unrelated code (with a stack that never touched it) had written into
# it, which AddressSanitizer, running the same tests, shows never happens. The
# tests still run in the plain and AddressSanitizer suites.
vfork_confused='^SeamlessInputManagerTest[.]'
TSAN_OPTIONS="halt_on_error=1:die_after_fork=0:second_deadlock_stack=1:suppressions=$top/scripts/tsan-qt.supp" \
  run_tests "$tsan" -E "_NOT_BUILT\$|^transfer_fuzz|^Layers[.]|^Packaging[.]|$vfork_confused"
echo "== ThreadSanitizer: $((SECONDS - start)) s"
exit "$status"
