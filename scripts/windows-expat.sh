#!/usr/bin/env bash
# Builds Debian's expat (the XML parser the logger import reads .xle files
# with) for the Windows cross build:
#   scripts/windows-expat.sh DIR
# fetches the source package with apt-get source into DIR, builds it as a
# static library with the mingw-w64 toolchain and installs it into
# DIR/install. Does nothing when DIR/install holds it already. Run by
# scripts/windows-check.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dir="$1"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
prefix="$dir/install"
[ -f "$prefix/lib/libexpat.a" ] && exit 0

source "$root/scripts/apt-install.sh"
install_missing cmake ninja-build g++-mingw-w64-x86-64-posix
# The newest source version may sit in an archive the mirror does not hold
# (a security update): then each older one the system lists is tried.
src=$(debian_source expat "$dir" 2> "$dir/source-first.log") || src=""
if [ -z "$src" ]; then
  for version in $(apt-cache showsrc expat | sed -n 's/^Version: //p' | sort -rV); do
    echo "== expat $version source (apt-get source)"
    if (cd "$dir" && apt-get source -qq "expat=$version" > "$dir/source.log" 2>&1); then
      src=$(find "$dir" -mindepth 1 -maxdepth 1 -type d -name "expat-[0-9]*" -print -quit)
      [ -n "$src" ] && break
    fi
  done
  [ -n "$src" ] || { cat "$dir/source-first.log" "$dir/source.log" >&2; exit 1; }
fi
# The release's CMake project is at the top of the source package, or in
# its expat/ folder in some layouts.
project="$src"
[ -f "$project/CMakeLists.txt" ] || project="$src/expat"

echo "== expat $(basename "$src") for Windows"
launcher=()
if command -v ccache > /dev/null; then launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S "$project" -B "$dir/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DEXPAT_SHARED_LIBS=OFF -DEXPAT_MSVC_STATIC_CRT=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
  -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF "${launcher[@]}" \
  > "$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; exit 1; }
# Debian's security patches test "#if XML_DTD == 1", as its own (autotools)
# build defines it; the CMake build defines it empty.
sed -i -e 's/^#define XML_DTD$/#define XML_DTD 1/' -e 's/^#define XML_NS$/#define XML_NS 1/' "$dir/build/expat_config.h"
nice -n 10 cmake --build "$dir/build" > "$dir/build.log" 2>&1 || { cat "$dir/build.log"; exit 1; }
cmake --install "$dir/build" > /dev/null
# Its name on mingw may carry a suffix (libexpatMD.a): one name for the build.
lib=$(find "$prefix/lib" -maxdepth 1 -name 'libexpat*.a' | head -1)
[ -n "$lib" ] || { echo "expat built no static library in $prefix/lib" >&2; exit 1; }
[ "$lib" = "$prefix/lib/libexpat.a" ] || cp "$lib" "$prefix/lib/libexpat.a"
