#!/usr/bin/env bash
# Sets everything up, builds the normal, the Qt-free core (natively and for Windows, run under Wine) and
# the sanitizer trees and runs every test,
# then runs each fuzz target for 30 s and builds and checks the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2
# The core must build and pass its tests without Qt.
bash scripts/build.sh build-core -DTOV_WITH_QT=OFF -DTOV_BUILD_BENCH=OFF
ctest --test-dir build-core --output-on-failure -j2
# The same core and its tests cross-built for Windows and run under Wine.
bash scripts/windows-check.sh build-win
# The Windows program (window, zip, installer) installed, used and uninstalled under Wine: from the Qt for
# Windows in the cache, as a cold build of it does not fit CI's time (the script says so when it does not run).
bash scripts/windows-gui-check.sh --ci
bash scripts/build.sh build-asan -DTOV_SANITIZE=ON -DTOV_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j2
# A short run of every fuzz target (scripts/fuzz.sh SECONDS runs them longer).
bash scripts/fuzz.sh 30
# The Debian package, unpacked and run as shipped (a Release build of the program alone).
bash scripts/package_check.sh
