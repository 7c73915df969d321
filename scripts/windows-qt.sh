#!/usr/bin/env bash
# Builds Qt 6 for 64-bit Windows from Debian's qt6-base source package with
# mingw-w64, once per machine: scripts/windows-qt.sh [PREFIX]
# PREFIX defaults to $TOV_QT_MINGW, else ~/.cache/tov/qt6-mingw; nothing is
# done when it holds a finished build already. The source and the build tree
# lie beside it (PREFIX-build: its logs stay, the rest is removed after a
# finished build unless TOV_QT_KEEP_BUILD=1). Only what Tov uses: Core, Gui (with its PDF writer),
# Widgets and PrintSupport, the windows platform plugin (and the minimal
# one), the Windows styles; the host's Qt tools (moc, rcc, uic: the same
# 6.4.2 from Debian) do the code generation. Compiles run at low priority,
# two at a time unless CMAKE_BUILD_PARALLEL_LEVEL says otherwise. The last
# 427 of its about 990 build steps took 41 minutes on a 2-core machine at
# load 3-7: a cold build takes one to two hours there.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
prefix="${1:-${TOV_QT_MINGW:-$HOME/.cache/tov/qt6-mingw}}"
stamp="$prefix/tov-qt-build.txt"
if [ -f "$stamp" ] && [ -f "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ]; then
  echo "Qt for Windows: $prefix ($(head -1 "$stamp"))"
  exit 0
fi
work="$prefix-build"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"

source "$root/scripts/apt-install.sh"
# The host's Qt (tools and their CMake packages) must be the version of the
# source: Debian's qt6-base-dev and qt6-base-dev-tools of the same release.
install_missing cmake ninja-build perl g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
  qt6-base-dev qt6-base-dev-tools
src=$(debian_source qt6-base "$work")
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
source_version=$(sed -n '1s/^[^(]*(\([^)]*\)).*/\1/p' "$src/debian/changelog")
if [ "$host_version" != "$source_version" ]; then
  echo "the host's qt6-base-dev is $host_version, the source $source_version: they must be the same" >&2
  exit 1
fi

# Left out: what Tov does not use (SQL, network, D-Bus, OpenGL, XML,
# concurrent, test library, JPEG). Tablet events need wintab.h, which the
# +dfsg source leaves out; with OpenGL off the platform plugin's dynamic-GL
# branch must be off too (it would not compile). Direct2D stays on: 6.4.2
# builds the DirectWrite font engine that PrintSupport's Windows print
# engine links against only with it (with it off, Qt6PrintSupport.dll fails
# to link on QWindowsFontEngineDirectWrite::createHFONT).
options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_testlib=OFF
  -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF
  -DFEATURE_direct2d=ON -DFEATURE_jpeg=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
)
echo "== Qt $(basename "$src") for Windows into $prefix"
start=$(date +%s)
echo "started $(date -Is); load: $(uptime)" > "$work/time.txt"
cmake -S "$src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQt6HostInfo_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo \
  "${options[@]}" > "$work/configure.log" 2>&1 || { tail -50 "$work/configure.log"; exit 1; }
nice -n 10 cmake --build "$work/build" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-2}" > "$work/build.log" 2>&1 \
  || { grep -B2 -A20 -m3 'FAILED:' "$work/build.log" || tail -50 "$work/build.log"; exit 1; }
rm -rf "$prefix"
cmake --install "$work/build" > "$work/install.log" 2>&1 || { tail -50 "$work/install.log"; exit 1; }
# The licences of what the Qt DLLs hold (Qt itself and its bundled
# FreeType, HarfBuzz, libpng, zlib, PCRE2, MD4C), for the packages.
mkdir -p "$prefix/licenses"
cp "$src/debian/copyright" "$prefix/licenses/qt6-base-copyright.txt"
for f in "$src"/LICENSE.* "$src"/LICENSES/*; do [ -f "$f" ] && cp "$f" "$prefix/licenses/"; done
end=$(date +%s)
{
  echo "qt6-base $source_version for x86_64-w64-mingw32, built in $(( (end - start) / 60 )) min $(( (end - start) % 60 )) s"
  echo "finished $(date -Is); load at the end: $(uptime)"
  cat "$work/time.txt"
  echo "options: ${options[*]}"
} > "$stamp"
# The logs stay; the build tree and the source go.
[ "${TOV_QT_KEEP_BUILD:-0}" = 1 ] || rm -rf "$work/build" "$src"
cat "$stamp"
