#!/usr/bin/env bash
# Builds the Qt-free core and its tests for 64-bit Windows with Debian's
# mingw-w64 and runs the tests under Wine: scripts/windows-check.sh [DIR]
# (DIR defaults to build-win). Installs with apt-get what it needs.
# Compiles run at low priority (nice), two at a time unless
# CMAKE_BUILD_PARALLEL_LEVEL says otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dir="${1:-build-win}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"

packages=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine64 googletest
)
source "$(dirname "${BASH_SOURCE[0]}")/apt-install.sh"
install_missing "${packages[@]}"

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi

# Core units left out of the Windows core (none: every unit builds there),
# and the test areas built and run under Wine (all of the core's; cases that
# cannot apply there, such as FIFOs or POSIX owners, skip with a reason).
core_exclude=()
test_areas=(record files settings render dialogs analysis import batch)

# GoogleTest from Debian's source, built with the cross compiler.
gtest="$dir/googletest"
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
  echo "== GoogleTest for Windows"
  cmake -S /usr/src/googletest -B "$gtest/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$gtest/install" \
    -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF "${launcher[@]}" > "$gtest.configure.log" 2>&1 \
    || { cat "$gtest.configure.log"; exit 1; }
  nice -n 10 cmake --build "$gtest/build" > "$gtest.build.log" 2>&1 || { cat "$gtest.build.log"; exit 1; }
  cmake --install "$gtest/build" > /dev/null
fi

# libxlsxwriter from Debian's source, built with the cross compiler. It and
# zlib are linked statically, as the compiler's runtime is: the programs
# need no DLLs beside them.
bash "$root/scripts/windows-xlsxwriter.sh" "$dir/xlsxwriter"
xlsx="$dir/xlsxwriter/install" zlib=/usr/x86_64-w64-mingw32/lib/libz.a
# expat, the logger import's XML parser, likewise from Debian's source.
bash "$root/scripts/windows-expat.sh" "$dir/expat"
expat="$dir/expat/install"

echo "== Core and tests for Windows (left out: ${core_exclude[*]})"
joined() { local IFS=';'; echo "$*"; }
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTOV_WITH_QT=OFF -DTOV_BUILD_BENCH=OFF \
  -DTOV_WITH_XLSX=ON -DCMAKE_PREFIX_PATH="$xlsx" -Dpkgcfg_lib_XLSXWRITER_xlsxwriter="$xlsx/lib/libxlsxwriter.a" \
  -Dpkgcfg_lib_XLSXWRITER_z="$zlib" -DZLIB_LIBRARY="$zlib" \
  -DEXPAT_INCLUDE_DIR="$expat/include" -DEXPAT_LIBRARY="$expat/lib/libexpat.a" \
  "-DTOV_CORE_EXCLUDE=$(joined "${core_exclude[@]}")" "-DTOV_TEST_AREAS=$(joined "${test_areas[@]}")" \
  -DGTest_DIR="$gtest/install/lib/cmake/GTest" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST "${launcher[@]}" > "$dir.configure.log" 2>&1 \
  || { cat "$dir.configure.log"; exit 1; }
targets=()
for a in "${test_areas[@]}"; do targets+=(--target "test_$a"); done
nice -n 10 cmake --build "$dir" "${targets[@]}"

echo "== Tests under Wine ($("$wine" --version 2>/dev/null || echo wine))"
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$dir/wineprefix}"
# One Wine server for all the programs, kept until the end: a program started
# just as the server of the one before shuts down loses it ("wine client
# error: recvmsg: Connection reset by peer").
wineserver=$(command -v wineserver || ls /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver 2>/dev/null | head -1)
mkdir -p "$WINEPREFIX"
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT
failed=0 total=0 bad=()
for a in "${test_areas[@]}"; do
  exe="$dir/tests/test_$a.exe"
  log="$dir/test_$a.log"
  total=$((total + 1))
  status=0
  (cd "$dir/tests" && "$wine" "$exe" --gtest_brief=1) > "$log" 2>&1 || status=$?
  sed -i 's/\r$//' "$log"  # Windows line ends
  if [ "$status" -eq 0 ]; then
    echo "test_$a: $(grep -E '^\[  (PASSED  |SKIPPED )\]' "$log" | tr '\n' ' ')"
    # Tests that do not apply on Windows say why.
    grep -A1 ': Skipped$' "$log" | grep -v -- '^--$' | sed 's/^/    /' || true
  else
    failed=$((failed + 1)); bad+=("test_$a")
    cat "$log"
  fi
done
# Ctrl+C needs a console, which Wine gives a program only in a terminal:
# the interrupt tests once more under script(1), and they must run, not skip.
total=$((total + 1))
xml="$dir/tests/interrupts.xml"
rm -f "$xml"
status=0
(cd "$dir/tests" && script -qec "'$wine' ./test_files.exe --gtest_filter='Interrupts.*' --gtest_output=xml:interrupts.xml" \
  /dev/null) > "$dir/test_interrupts.log" 2>&1 || status=$?
if [ "$status" -eq 0 ] && [ -f "$xml" ] && ! grep -q -e '<skipped' -e 'result="skipped"' "$xml" && grep -q 'tests="[1-9]' "$xml"; then
  echo "test_files, Interrupts.* in a terminal (Ctrl+C to the console): $(grep -o 'tests="[0-9]*"' "$xml" | head -1) passed"
else
  failed=$((failed + 1)); bad+=("test_files (Interrupts.* in a terminal)")
  sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$dir/test_interrupts.log" | tr -d '\r'
fi
echo
echo "$((total - failed)) of $total Windows test runs passed under Wine${bad:+; failed: ${bad[*]}}"
[ "$failed" -eq 0 ]
