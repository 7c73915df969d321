#!/usr/bin/env bash
# Lists the places in the core where a path is made from a narrow string or
# turned into one (fs::path(std::string), path / std::string, path.string()):
# on Windows those take the ANSI code page and lose Japanese names; the core
# uses pathFromUtf8 / utf8Path instead. Compiles each core file for Windows
# (syntax only) against a copy of mingw-w64's <filesystem> in which those
# conversions are deprecated, and prints the warnings' places; a conversion
# inside the standard library (a vector of paths made from strings) is
# named by the line of ours that asked for it. The Qt side
# (src/app, src/qt, src/dialogs/qt, src/cli) is checked too when the Qt for
# Windows is there (scripts/windows-qt.sh; $TOV_QT_MINGW, else
# ~/.cache/tov/qt6-mingw), against its headers; without it, it says so.
# scripts/narrow-paths.sh [FILES...]  (default: the core's and the Qt side's sources)
set -euo pipefail
cd "$(dirname "$0")/.."
cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || { echo "needs $cxx (g++-mingw-w64-x86-64-posix)"; exit 2; }
header=$(echo '#include <filesystem>' | "$cxx" -std=c++20 -x c++ -M - | tr ' \\' '\n\n' | grep '/bits/fs_path.h$' | head -1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bits"
python3 - "$header" "$work/bits/fs_path.h" <<'EOF'
import sys
s = open(sys.argv[1]).read().replace('#pragma GCC system_header', '')
narrow = ('template<typename _S> inline constexpr bool __narrow_v = std::is_same_v<std::remove_cvref_t<_S>, std::string>'
          ' || std::is_same_v<std::remove_cvref_t<_S>, std::string_view>;\n')
anchor = '  /// A filesystem path\n'
ctor = '''    template<typename _Source,
	     typename _Require = __detail::_Path<_Source>>
      path(_Source const& __source, format = auto_format)
      : _M_pathname(_S_convert(__detail::__effective_range(__source)))
      { _M_split_cmpts(); }'''
for part in (anchor, ctor, '    std::string    string() const;'):
    if part not in s: sys.exit('this <filesystem> differs from the one the check knows')
s = s.replace(anchor, narrow + anchor, 1)
s = s.replace(ctor, ctor.replace('>>\n', '>> requires (!__narrow_v<_Source>)\n', 1) + '\n' +
              ctor.replace('>>\n', '>> requires (__narrow_v<_Source>)\n', 1).replace('path(_Source', '[[deprecated("NARROW")]] path(_Source'), 1)
for op in ('operator/=(_Source const& __source)', 'operator+=(_Source const& __x)', 'operator=(_Source const& __source)'):
    s = s.replace('    template<typename _Source>\n      __detail::_Path<_Source>&\n      ' + op,
                  '    template<typename _Source> requires (!__narrow_v<_Source>)\n      __detail::_Path<_Source>&\n      ' + op, 1)
s = s.replace('    std::string    string() const;', '    [[deprecated("NARROW")]] std::string    string() const;')
s = s.replace('    std::string    generic_string() const;', '    [[deprecated("NARROW")]] std::string    generic_string() const;')
open(sys.argv[2], 'w').write(s)
EOF
qt="${TOV_QT_MINGW:-$HOME/.cache/tov/qt6-mingw}"
qtflags=()
if [ -f "$qt/include/QtCore/qtcore-config.h" ]; then
  qtflags=(-isystem "$qt/include")
  for m in QtCore QtGui QtWidgets QtPrintSupport; do qtflags+=(-isystem "$qt/include/$m"); done
  [ -f "$HOME/.cache/tov/qpdf-mingw/include/qpdf/QPDF.hh" ] && qtflags+=(-isystem "$HOME/.cache/tov/qpdf-mingw/include")
fi
files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  mapfile -t files < <(ls src/{record,files,render,analysis,import,batch}/*.cpp src/dialogs/*.cpp)
  if [ ${#qtflags[@]} -gt 0 ]; then
    mapfile -t -O ${#files[@]} files < <(ls src/{app,qt,dialogs/qt,cli}/*.cpp)
  else
    echo "the Qt side is not checked: no Qt for Windows in $qt (bash scripts/windows-qt.sh builds it)"
  fi
fi
mkdir -p "$work/generated"
[ -d build/generated ] && cp -r build/generated/. "$work/generated/"
found=0
for f in "${files[@]}"; do
  hits=$(nice "$cxx" -std=c++20 -fsyntax-only -Wsystem-headers -I"$work" -Isrc -I. -I"$work/generated" -DTOV_HAS_XLSXWRITER=0 "${qtflags[@]}" "$f" 2>&1 |
         awk -F: '/^[^ \/][^ ]*:[0-9]+:[0-9]+:   required from/ { here = $1 ":" $2 }
                  /^[^ ]+:[0-9]+:[0-9]+: warning: .*NARROW/ { print ($1 ~ /^\// && here != "" ? here : $1 ":" $2); here = "" }' |
         sort -u) || true
  [ -n "$hits" ] && { echo "$hits"; found=1; }
done
[ $found -eq 0 ] && echo "no narrow path conversions"
exit $found
