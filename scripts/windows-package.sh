#!/usr/bin/env bash
# Builds the program for 64-bit Windows and its two packages:
#   scripts/windows-package.sh [DIR]          (DIR defaults to build-win-app)
# - dist/tov-<version>-win64.zip: the program folder to unpack anywhere
#   (tov.exe, tov-cli.exe, the Qt DLLs and plugins, Help.txt, samples,
#   licences);
# - dist/tov-<version>-win64-setup.exe: an installer made with NSIS
#   (makensis from Debian): Start-menu entry "現場透水試験", .tvd files
#   opening with Tov, an uninstaller that removes what it installed.
# The Qt for Windows comes from scripts/windows-qt.sh (a cache built once per
# machine, $TOV_QT_MINGW or ~/.cache/tov/qt6-mingw: one to two hours on a
# shared 2-core machine when it is not there yet), qpdf from scripts/windows-qpdf.sh,
# libxlsxwriter from scripts/windows-xlsxwriter.sh. Prints the two packages'
# paths and sizes at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dir="${1:-build-win-app}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
qt="${TOV_QT_MINGW:-$HOME/.cache/tov/qt6-mingw}"
qpdf="${TOV_QPDF_MINGW:-$HOME/.cache/tov/qpdf-mingw}"
sysroot=/usr/x86_64-w64-mingw32

source "$root/scripts/apt-install.sh"
install_missing cmake ninja-build pkg-config g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev \
  nsis zip imagemagick qt6-translations-l10n
if [ ! -f "$qt/tov-qt-build.txt" ]; then
  echo "== no Qt for Windows in $qt yet: building it once (one to two hours on 2 cores)"
fi
bash "$root/scripts/windows-qt.sh" "$qt"
bash "$root/scripts/windows-qpdf.sh" "$qpdf"
bash "$root/scripts/windows-xlsxwriter.sh" "$dir/xlsxwriter"
xlsx="$dir/xlsxwriter/install" zlib="$sysroot/lib/libz.a"
# expat, the logger import's XML parser, likewise from Debian's source.
bash "$root/scripts/windows-expat.sh" "$dir/expat"
expat="$dir/expat/install"

# The programs' icon, from the PNG sizes the Linux desktop uses.
convert resources/icons/tov-{16,24,32,48,64,128}.png resources/tov.png "$dir/tov.ico"

echo "== tov.exe and tov-cli.exe for Windows ($dir)"
launcher=()
if command -v ccache > /dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
# pkg-config reads the Windows libraries' .pc files only, never the host's.
export PKG_CONFIG_LIBDIR="$qpdf/lib/pkgconfig:$xlsx/lib/pkgconfig:$sysroot/lib/pkgconfig"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DTOV_BUILD_TESTS=OFF -DTOV_BUILD_BENCH=OFF -DTOV_WITH_XLSX=ON -DCMAKE_PREFIX_PATH="$xlsx" \
  -Dpkgcfg_lib_XLSXWRITER_xlsxwriter="$xlsx/lib/libxlsxwriter.a" -Dpkgcfg_lib_XLSXWRITER_z="$zlib" \
  -Dpkgcfg_lib_QPDF_qpdf="$qpdf/lib/libqpdf.a" -Dpkgcfg_lib_QPDF_jpeg="$qpdf/lib/libjpeg.a" -Dpkgcfg_lib_QPDF_z="$zlib" \
  -DEXPAT_INCLUDE_DIR="$expat/include" -DEXPAT_LIBRARY="$expat/lib/libexpat.a" \
  -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR="$sysroot/include" -DTOV_WINDOWS_ICON="$dir/tov.ico" \
  "${launcher[@]}" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
nice -n 10 cmake --build "$dir" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-2}" --target tov tov-cli

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
name="tov-$version-win64"
stage="$dir/stage/$name"
rm -rf "$dir/stage"
mkdir -p "$stage"/{platforms,styles,translations,samples,licenses}
x86_64-w64-mingw32-strip -o "$stage/tov.exe" "$dir/tov.exe"
x86_64-w64-mingw32-strip -o "$stage/tov-cli.exe" "$dir/tov-cli.exe"
for m in Core Gui Widgets PrintSupport; do cp "$qt/bin/Qt6$m.dll" "$stage/"; done
# The window's platform, and the one the command-line jobs paint with (no
# window, the system's fonts).
cp "$qt/plugins/platforms/qwindows.dll" "$qt/plugins/platforms/qminimal.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# Qt's own dialogs (file, print, page setup) in Japanese.
cp /usr/share/qt6/translations/qtbase_ja.qm "$stage/translations/"
# Qt finds its plugins and translations beside the programs.
printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' > "$stage/qt.conf"
# The compiler's runtime the Qt DLLs use (the programs carry their own).
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
for dll in libstdc++-6.dll libgcc_s_seh-1.dll; do cp "$gcc_dir/$dll" "$stage/"; done
cp "$sysroot/lib/libwinpthread-1.dll" "$stage/"
# The DLLs without their symbol tables and debugging sections (a third of
# their size; the compiler's libstdc++ carries 20 MB of them).
find "$stage" -name '*.dll' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +

# Every DLL a shipped file imports is shipped or part of Windows.
system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comdlg32|comctl32|winspool\.drv|ws2_32|shlwapi|uxtheme|dwmapi|imm32|winmm|version|netapi32|userenv|mpr|dwrite|d2d1|d3d9|d3d11|dxgi|setupapi|wtsapi32|shcore|authz|rpcrt4|msvcrt|bcrypt|crypt32|secur32|iphlpapi|dnsapi|api-ms-win-.*)\.dll$|^winspool\.drv$'
missing=0
while IFS= read -r -d '' file; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    if ! echo "$dll" | grep -Eq "$system_dlls" && [ -z "$(find "$stage" -maxdepth 1 -iname "$dll" -print -quit)" ]; then
      echo "$(basename "$file") needs $dll, which is not in the package"
      missing=1
    fi
  done
done < <(find "$stage" \( -name '*.exe' -o -name '*.dll' \) -print0)
[ "$missing" -eq 0 ]

# What an engineer reads: the operating instructions and the samples, with
# Windows line ends where they are text.
sed 's/$/\r/' resources/Help.txt > "$stage/Help.txt"
cp samples/*.tvd "$stage/samples/"

# The licences of what is bundled.
licenses="$stage/licenses"
sed 's/$/\r/' packaging/copyright > "$licenses/Tov.txt"
for f in "$qt/licenses"/*; do sed 's/$/\r/' "$f" > "$licenses/Qt-$(basename "$f" .txt).txt"; done
for f in "$qpdf/licenses"/*; do sed 's/$/\r/' "$f" > "$licenses/$(basename "$f" .txt).txt"; done
for f in "$dir"/xlsxwriter/libxlsxwriter-*/debian/copyright; do
  [ -f "$f" ] && sed 's/$/\r/' "$f" > "$licenses/libxlsxwriter-copyright.txt"
done
for f in "$dir"/expat/expat-*/debian/copyright "$dir"/expat/expat-*/COPYING; do
  [ -f "$f" ] && sed 's/$/\r/' "$f" > "$licenses/expat-$(basename "$f").txt"
done
for f in /usr/share/doc/gcc-mingw-w64-base/copyright /usr/share/doc/mingw-w64-common/copyright \
         /usr/share/doc/libz-mingw-w64-dev/copyright; do
  [ -f "$f" ] && sed 's/$/\r/' "$f" > "$licenses/$(basename "$(dirname "$f")")-copyright.txt"
done
qt_version=$(sed -n 's/^qt6-base \([^ ]*\) .*/\1/p' "$qt/tov-qt-build.txt")
cat > "$licenses/README.txt" <<EOF
The files in this folder are the licences of what the package holds besides
Tov itself:
- Qt $qt_version (Qt6Core, Qt6Gui, Qt6Widgets, Qt6PrintSupport and the
  plugins), built unchanged from Debian's qt6-base source package
  $qt_version under the GNU LGPL version 3 (Qt-LICENSE.LGPL3.txt and the
  other Qt-*.txt files; qt6-base-copyright lists the parts it bundles:
  FreeType, HarfBuzz, libpng, zlib, PCRE2, MD4C and others). Its source is
  Debian's: https://snapshot.debian.org/package/qt6-base/$qt_version/ .
  The Qt DLLs may be replaced by other builds of the same version.
- qpdf and libjpeg-turbo, linked into the programs (Apache 2.0; IJG and BSD).
- libxlsxwriter, linked into the programs (BSD; its bundled minizip and
  tmpfileplus under their own terms).
- expat, linked into the programs (MIT; expat-COPYING.txt).
- The GCC runtime (libstdc++-6.dll, libgcc_s_seh-1.dll: GPL 3 with the GCC
  Runtime Library Exception), mingw-w64's winpthreads (libwinpthread-1.dll)
  and zlib.
EOF
sed -i 's/$/\r/' "$licenses/README.txt"

mkdir -p dist
rm -f "dist/$name.zip" "dist/$name-setup.exe"
(cd "$dir/stage" && zip -qr -9 -X "$root/dist/$name.zip" "$name")

# The installer: every file it puts down is listed for the uninstaller,
# which removes those and the folders they made (nothing else the user
# put in the folder).
nsis="$dir/nsis"
mkdir -p "$nsis"
(cd "$stage" && find . -type d ! -name . -printf '%P\n' | LC_ALL=C sort) > "$nsis/dirs.txt"
(cd "$stage" && find . -type f -printf '%P\n' | LC_ALL=C sort) > "$nsis/files.txt"
win() { tr / '\\' <<< "$1"; }  # a path below the folder in Windows form
{
  while IFS= read -r f; do
    sub=$(dirname "$f")
    if [ "$sub" = . ]; then echo 'SetOutPath "$INSTDIR"'; else echo "SetOutPath \"\$INSTDIR\\$(win "$sub")\""; fi
    echo "File \"$stage/$f\""
  done < "$nsis/files.txt"
  echo 'SetOutPath "$INSTDIR"'
} > "$nsis/install-files.nsh"
{
  while IFS= read -r f; do echo "Delete \"\$INSTDIR\\$(win "$f")\""; done < "$nsis/files.txt"
  tac "$nsis/dirs.txt" | while IFS= read -r d; do echo "RMDir \"\$INSTDIR\\$(win "$d")\""; done
} > "$nsis/uninstall-files.nsh"
size_kb=$(du -sk "$stage" | cut -f1)
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DOUTFILE="$root/dist/$name-setup.exe" \
  -DSTAGE="$stage" -DFILES="$nsis" -DSIZE_KB="$size_kb" -DICON="$dir/tov.ico" \
  -DLICENSE="$stage/licenses/Tov.txt" packaging/windows/tov.nsi

echo "== packages"
for f in "dist/$name.zip" "dist/$name-setup.exe"; do
  echo "$f $(du -h "$f" | cut -f1)"
done
echo "(unpacked: $((size_kb / 1024)) MB in $(wc -l < "$nsis/files.txt") files)"
