#!/usr/bin/env bash
# Sets everything up, builds the normal tree and runs every test and the walk through the real window,
# cross-builds the Qt-free core and its tests for Windows and runs them under Wine, builds the sanitizer tree and
# runs its tests, runs each fuzz target for 30 s, and builds and checks the Debian package. Compiles go
# through ccache (scripts/compiler-cache.sh): the package's build takes the normal tree's objects from it.
# Each phase's time is printed when it ends, and all of them at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
phases=()
times_file=$(mktemp)
cpu_now() {  # cpu_now: sets cpu to the processor time (user + system) of the finished child processes so far
  times > "$times_file"  # here, not in a subshell (which would count only its own children)
  cpu=$(tail -1 "$times_file" | awk '{ split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }')
}
phase() {  # phase NAME COMMAND...: runs the command and notes its wall and processor time
  local name="$1" start=$SECONDS cpu cpu_start
  shift
  cpu_now; cpu_start=$cpu
  echo "== $name"
  "$@"
  cpu_now; cpu=$((cpu - cpu_start))
  phases+=("$(printf '%-16s %5d s wall %6d s cpu   (load %s)' "$name" $((SECONDS - start)) "$cpu" \
    "$(cut -d' ' -f1-3 /proc/loadavg)")")
  echo "== $name: $((SECONDS - start)) s wall, $cpu s processor time"
}
report() {
  local cpu
  cpu_now
  echo "== phases (wall time, processor time of all its processes, the load at its end)"
  printf '%s\n' "${phases[@]}"
  echo "total            $SECONDS s wall $cpu s cpu"
  rm -f "$times_file"
}
trap report EXIT

phase "set-up (apt)" bash scripts/setup.sh
phase "build" bash scripts/build.sh build
export QT_QPA_PLATFORM=offscreen
phase "ctest build" ctest --test-dir build --output-on-failure -j2
# The real window driven as an engineer uses it, at 1366x768 and 1920x1080 (Xvfb, openbox, xdotool).
phase "walk" bash scripts/walk.sh build
# The core and its tests without Qt, cross-built for Windows and run under Wine. (This is also the
# check that the core builds without Qt; the fuzz targets build it so natively.)
phase "windows check" bash scripts/windows-check.sh build-win
# The Windows program (window, zip, installer) installed, used and uninstalled under Wine: from the Qt for
# Windows in the cache, as a cold build of it does not fit CI's time (the script says so when it does not run).
phase "windows gui" bash scripts/windows-gui-check.sh --ci
phase "build asan" bash scripts/build.sh build-asan -DTOV_SANITIZE=ON -DTOV_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Every test of the program's code; the checks of the source tree and the install rules (no code of ours runs
# in them) ran in build/ already.
phase "ctest asan" ctest --test-dir build-asan --output-on-failure -j2 \
  -E '^(IncludeLayersHold|DesktopEntryIsValid|InstallsIntoAUserPrefix)$'
# A short run of every fuzz target, two at a time (scripts/fuzz.sh SECONDS runs them longer).
phase "fuzz" env FUZZ_JOBS=2 bash scripts/fuzz.sh 30
# The Debian package, unpacked and run as shipped (the program alone, hardened as Debian builds).
phase "package" bash scripts/package_check.sh
