#!/usr/bin/env bash
# The core's benchmarks (tov_bench_core: analysis, codec, logger import)
# built for Windows and run under Wine beside the native ones, for
# information: scripts/windows-bench.sh [DIR] [BENCHMARK ARGUMENTS...]
# DIR is the Windows tree of scripts/windows-check.sh (default build-win),
# which must have been made first; Google Benchmark is built there from
# Debian's source package with the same toolchain. The native program comes
# from the normal tree (build/).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dir="${1:-build-win}"
shift || true
[ -f "$dir/CMakeCache.txt" ] || { echo "$dir is not configured: run scripts/windows-check.sh $dir first"; exit 1; }
dir="$(cd "$dir" && pwd)"
source "$root/scripts/apt-install.sh"

gbench="$dir/benchmark"
mkdir -p "$gbench"
if [ ! -f "$gbench/install/lib/cmake/benchmark/benchmarkConfig.cmake" ]; then
  src=$(debian_source benchmark "$gbench")
  echo "== Google Benchmark $(basename "$src") for Windows"
  launcher=()
  if command -v ccache > /dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  # Debian's build names the version itself (GIT_VERSION); so does this one.
  cmake -S "$src" -B "$gbench/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DGIT_VERSION="${src##*-}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$gbench/install" \
    -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF -DBENCHMARK_ENABLE_WERROR=OFF \
    "${launcher[@]}" > "$gbench/configure.log" 2>&1 || { cat "$gbench/configure.log"; exit 1; }
  nice -n 10 cmake --build "$gbench/build" > "$gbench/build.log" 2>&1 || { cat "$gbench/build.log"; exit 1; }
  cmake --install "$gbench/build" > /dev/null
fi

echo "== tov_bench_core for Windows"
cmake -S . -B "$dir" -DTOV_BUILD_BENCH=ON -Dbenchmark_DIR="$gbench/install/lib/cmake/benchmark" > /dev/null
nice -n 10 cmake --build "$dir" --target tov_bench_core

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$dir/wineprefix}"
echo "== Under Wine ($("$wine" --version 2>/dev/null || echo wine))"
"$wine" "$dir/bench/tov_bench_core.exe" "$@" 2>&1 | sed 's/\r$//'
if [ -x build/bench/tov_bench_core ]; then
  echo "== Native (build/bench/tov_bench_core)"
  build/bench/tov_bench_core "$@"
fi
