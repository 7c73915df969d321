#!/usr/bin/env bash
# Builds Debian's qpdf (with the libjpeg-turbo it needs) for the Windows
# build of the window, as static libraries: scripts/windows-qpdf.sh [PREFIX]
# PREFIX defaults to $TOV_QPDF_MINGW, else ~/.cache/tov/qpdf-mingw; nothing
# is done when it holds them already. The sources are fetched with
# apt-get source into PREFIX-build (deb-src entries as for the other
# Windows builds), compiled with the mingw-w64 toolchain at low priority
# (a few minutes), and only the libraries and their headers are installed.
# The exports' combined PDF with bookmarks is written with qpdf; its own
# crypto code is used (the program writes no encrypted PDFs). Its configure
# step does not find <stdint.h> when cross-compiling: it is told.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
prefix="${1:-${TOV_QPDF_MINGW:-$HOME/.cache/tov/qpdf-mingw}}"
if [ -f "$prefix/lib/libqpdf.a" ] && [ -f "$prefix/lib/libjpeg.a" ]; then exit 0; fi
work="$prefix-build"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"

source "$root/scripts/apt-install.sh"
install_missing cmake ninja-build pkg-config g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
launcher=()
if command -v ccache > /dev/null; then launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# pkg-config reads the mingw sysroot's and the prefix's .pc files only,
# never the host's.
export PKG_CONFIG_LIBDIR="/usr/x86_64-w64-mingw32/lib/pkgconfig:$prefix/lib/pkgconfig"
jobs="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"

jpeg=$(debian_source libjpeg-turbo "$work")
echo "== libjpeg-turbo $(basename "$jpeg") for Windows"
cmake -S "$jpeg" -B "$work/jpeg" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
  "${launcher[@]}" > "$work/jpeg-configure.log" 2>&1 || { cat "$work/jpeg-configure.log"; exit 1; }
nice -n 10 cmake --build "$work/jpeg" --parallel "$jobs" --target jpeg-static > "$work/jpeg-build.log" 2>&1 \
  || { cat "$work/jpeg-build.log"; exit 1; }
mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"
cp "$work/jpeg/libjpeg.a" "$prefix/lib/"
cp "$jpeg"/{jpeglib.h,jmorecfg.h,jerror.h} "$work/jpeg/jconfig.h" "$prefix/include/"
cat > "$prefix/lib/pkgconfig/libjpeg.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: libjpeg
Description: libjpeg-turbo (static, for Windows)
Version: $(basename "$jpeg" | sed 's/^libjpeg-turbo-//')
Libs: -L\${libdir} -ljpeg
Cflags: -I\${includedir}
EOF

src=$(debian_source qpdf "$work")
echo "== qpdf $(basename "$src") for Windows"
cmake -S "$src" -B "$work/qpdf" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_DOC=OFF -DINSTALL_EXAMPLES=OFF \
  -DUSE_IMPLICIT_CRYPTO=OFF -DREQUIRE_CRYPTO_NATIVE=ON -DHAVE_STDINT_H=1 -DHAVE_INTTYPES_H=1 \
  -DZLIB_H_PATH=/usr/x86_64-w64-mingw32/include -DZLIB_LIB_PATH=/usr/x86_64-w64-mingw32/lib/libz.a \
  "${launcher[@]}" > "$work/qpdf-configure.log" 2>&1 || { cat "$work/qpdf-configure.log"; exit 1; }
nice -n 10 cmake --build "$work/qpdf" --parallel "$jobs" --target libqpdf > "$work/qpdf-build.log" 2>&1 \
  || { cat "$work/qpdf-build.log"; exit 1; }
mkdir -p "$prefix/include/qpdf"
cp "$src"/include/qpdf/*.h "$src"/include/qpdf/*.hh "$prefix/include/qpdf/"
cp "$work/qpdf/libqpdf/libqpdf.a" "$prefix/lib/"
cat > "$prefix/lib/pkgconfig/libqpdf.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: libqpdf
Description: qpdf (static, for Windows)
Version: $(basename "$src" | sed 's/^qpdf-//')
Requires.private: libjpeg
Libs: -L\${libdir} -lqpdf -ljpeg -lz
Cflags: -I\${includedir}
EOF
# The licences of what the program links in.
mkdir -p "$prefix/licenses"
cp "$src/debian/copyright" "$prefix/licenses/qpdf-copyright.txt"
cp "$jpeg/debian/copyright" "$prefix/licenses/libjpeg-turbo-copyright.txt"
rm -rf "$work/jpeg" "$work/qpdf" "$jpeg" "$src"
