#!/usr/bin/env bash
# Builds Debian's libxlsxwriter for the Windows cross build:
#   scripts/windows-xlsxwriter.sh DIR
# fetches the source package with apt-get source into DIR (a deb-src entry for
# Debian's main archive is added in a file of its own when the system has
# none), builds it as a static library with the mingw-w64 toolchain, its zlib
# from libz-mingw-w64-dev and the zip and temporary-file code it ships, and
# installs it into DIR/install. Does
# nothing when DIR/install holds it already. Run by scripts/windows-check.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dir="$1"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
prefix="$dir/install"
[ -f "$prefix/lib/libxlsxwriter.a" ] && exit 0

source "$root/scripts/apt-install.sh"
install_missing libz-mingw-w64-dev cmake ninja-build g++-mingw-w64-x86-64-posix
src=$(debian_source libxlsxwriter "$dir")

# Debian builds it with the system's minizip, which mingw has not: the
# minizip the source ships is used (on mingw the library opens every file,
# the workbook too, through the C library by its narrow name). Its numbers
# are written with snprintf: mingw's own (C99, two-digit exponents as on
# Linux), not msvcrt's ("2.15E-006") that its fallback to
# __builtin_snprintf would reach.
echo "== libxlsxwriter $(basename "$src") for Windows"
launcher=()
if command -v ccache > /dev/null; then launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S "$src" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_C_FLAGS="-D__USE_MINGW_ANSI_STDIO=1 -DLXW_HAS_SNPRINTF" \
  -DBUILD_SHARED_LIBS=OFF -DUSE_SYSTEM_MINIZIP=OFF -DUSE_OPENSSL_MD5=OFF \
  -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF "${launcher[@]}" > "$dir/configure.log" 2>&1 \
  || { cat "$dir/configure.log"; exit 1; }
nice -n 10 cmake --build "$dir/build" > "$dir/build.log" 2>&1 || { cat "$dir/build.log"; exit 1; }
cmake --install "$dir/build" > /dev/null
