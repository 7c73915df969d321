#!/usr/bin/env bash
# Checks the Windows program as a user would use it, under Wine:
#   scripts/windows-gui-check.sh [SETUP.EXE]
# (default: dist/tov-<version>-win64-setup.exe, which scripts/windows-package.sh
# writes), or
#   scripts/windows-gui-check.sh --ci
# which first builds the packages (scripts/windows-package.sh) when the Qt for
# Windows is in its cache ($TOV_QT_MINGW, else ~/.cache/tov/qt6-mingw), or
# builds that too when TOV_BUILD_WINDOWS_QT=1; without either it says that
# the check did not run, and why, and succeeds (a cold Qt build does not fit
# CI's time). In a fresh Wine prefix on an Xvfb display it
#  1. installs the setup silently (/S) and finds the program, its Start-menu
#     entry "現場透水試験" and the .tvd file type;
#  2. opens a test named in Japanese the way Explorer does (through the file
#     type), screenshots the window, saves it (Ctrl+S) and closes it;
#  3. exports its pages to PDF and PNG with tov-cli.exe and compares the PDF's
#     text (pdftotext) with the Linux program's export of the same test;
#  4. runs the batch (a folder of tests to one combined PDF and a workbook)
#     and the logger import on the command line, comparing with Linux;
#  5. exports with tov-cli.exe from the zip, unpacked to a folder;
#  6. uninstalls silently and compares the prefix with its state before the
#     install: nothing the installer put down may stay.
# Wine has none of Windows' Japanese fonts: the prefix gets the IPA fonts the
# host has (through fontconfig) under the names of a Japanese Windows'
# faces (ＭＳ 明朝, ＭＳ ゴシック, their P forms and English names, MS UI
# Gothic), as font replacements in its registry, so the program's default
# faces resolve as they do on Windows. Arguments and file names go through
# a Western code page (the check runs Wine in de_DE.UTF-8: code page 1252),
# where a narrow argv would lose the Japanese names; the screenshot's run
# is in ja_JP.UTF-8 (code page 932), as on a Japanese Windows.
# The screenshots and logs go to build-win-gui/ (or $TOV_GUI_CHECK_DIR).
# The Linux program compared with is build/tov (or $TOV_LINUX_TOV).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
start_time=$SECONDS
setup="${1:-}"
if [ "$setup" = --ci ]; then
  qt="${TOV_QT_MINGW:-$HOME/.cache/tov/qt6-mingw}"
  if [ "${TOV_BUILD_WINDOWS_QT:-0}" != 1 ] && [ ! -f "$qt/tov-qt-build.txt" ]; then
    echo "== Windows GUI check NOT RUN: no Qt for Windows in $qt, and a cold build of it (one to two hours on"
    echo "   2 cores) does not fit CI's time. Run it with: bash scripts/windows-qt.sh && bash scripts/windows-package.sh"
    echo "   && bash scripts/windows-gui-check.sh (or TOV_BUILD_WINDOWS_QT=1 bash scripts/windows-gui-check.sh --ci)."
    exit 0
  fi
  bash scripts/windows-package.sh
  setup=""
fi
if [ -z "$setup" ]; then
  setup=$(ls -t dist/tov-*-win64-setup.exe 2>/dev/null | head -1 || true)
  [ -n "$setup" ] || { echo "no dist/tov-*-win64-setup.exe: run scripts/windows-package.sh first"; exit 2; }
fi
setup="$(cd "$(dirname "$setup")" && pwd)/$(basename "$setup")"
linux_tov="${TOV_LINUX_TOV:-$root/build/tov}"
[ -x "$linux_tov" ] || { echo "no Linux program at $linux_tov to compare with (bash scripts/build.sh build)"; exit 2; }
out="${TOV_GUI_CHECK_DIR:-$root/build-win-gui}"
rm -rf "$out"
mkdir -p "$out"

source "$root/scripts/apt-install.sh"
install_missing wine64 wine fonts-wine xvfb xauth xdotool imagemagick poppler-utils unzip fonts-ipafont-gothic \
  fonts-ipafont-mincho

export PATH="$PATH:/usr/lib/wine"
wine=$(command -v wine64 || command -v wine)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
# Wine hands the environment to the Windows programs: scripts/test.sh's
# QT_QPA_PLATFORM=offscreen would send the window to a plugin the package
# does not have.
unset QT_QPA_PLATFORM QT_PLUGIN_PATH QT_QPA_PLATFORM_PLUGIN_PATH
export WINEPREFIX="$out/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8
failures=()
fail() { echo "FAILED: $*"; failures+=("$*"); }
step() { echo "== $* ($((SECONDS - start_time)) s)"; }

# A display for the whole check.
Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp 3> "$out/display" 2> "$out/xvfb.log" &
xvfb=$!
cleanup() {
  "$wineserver" -k 2> /dev/null || true
  kill "$xvfb" 2> /dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -s "$out/display" ] && break; sleep 0.2; done
export DISPLAY=":$(cat "$out/display")"

step "a fresh Wine prefix ($("$wine" --version))"
mkdir -p "$WINEPREFIX"
nice "$wine" wineboot -i > "$out/wineboot.log" 2>&1
"$wineserver" -w
# Wine's own faces (Tahoma, and Marlett for the title bars' buttons) in the
# system's font folder: Debian's wine does not find them where fonts-wine
# puts them.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2> /dev/null || true
# Programs run in a desktop of their own (Windows' frames and title bars on
# the screenshots); Japanese faces by their Windows names.
reg="$out/setup.reg"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="1366x768"\r\n\r\n'
  # Text smoothed as Windows 10 does by default (ClearType), not Wine's aliased text.
  printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"FontSmoothing"="2"\r\n"FontSmoothingType"=dword:00000002\r\n'
  printf '"FontSmoothingGamma"=dword:00000578\r\n"FontSmoothingOrientation"=dword:00000001\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
  for pair in "ＭＳ 明朝=IPAMincho" "MS Mincho=IPAMincho" "ＭＳ Ｐ明朝=IPAPMincho" "MS PMincho=IPAPMincho" \
              "ＭＳ ゴシック=IPAGothic" "MS Gothic=IPAGothic" "ＭＳ Ｐゴシック=IPAPGothic" "MS PGothic=IPAPGothic" \
              "MS UI Gothic=IPAPGothic"; do
    printf '"%s"="%s"\r\n' "${pair%%=*}" "${pair#*=}"
  done
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$reg"
"$wine" regedit /S "$(winepath -w "$reg" 2> /dev/null || echo "$reg")"
"$wineserver" -w

drive_c="$WINEPREFIX/drive_c"
# Wine links the user's Documents, Desktop and the like to the host's home
# folder: real folders in the prefix keep the check's files (and a lock a
# killed run left) out of it and out of the next run.
for link in "$drive_c/users/$(whoami)"/*; do
  if [ -L "$link" ]; then rm "$link"; mkdir "$link"; fi
done
# The prefix before the install: its files and its registry.
snapshot() {
  (cd "$drive_c" && find . -path ./users/*/Temp -prune -o -path ./windows/temp -prune -o -print | LC_ALL=C sort) > "$1.files"
  for hive in system user; do
    grep -E '^\[' "$WINEPREFIX/$hive.reg" | sed 's/\] [0-9]*$/]/' | LC_ALL=C sort > "$1.$hive.keys"
  done
}
snapshot "$out/before"

step "silent install of $(basename "$setup") ($(du -h "$setup" | cut -f1))"
"$wine" "$setup" /S > "$out/install.log" 2>&1 || fail "the installer returned $?"
"$wineserver" -w
program="$drive_c/Program Files/Tov"
for f in tov.exe tov-cli.exe uninstall.exe Qt6Widgets.dll platforms/qwindows.dll translations/qtbase_ja.qm Help.txt; do
  [ -f "$program/$f" ] || fail "not installed: $f"
done
[ -f "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/現場透水試験.lnk" ] || fail "no Start-menu entry 現場透水試験"
regq() { "$wine" reg query "$1" /ve 2> /dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }
[ "$(regq 'HKLM\Software\Classes\.tvd')" = "Tov.Test" ] || fail ".tvd is not Tov's file type"
open_command=$(regq 'HKLM\Software\Classes\Tov.Test\shell\open\command')
echo "   .tvd opens with: $open_command"
case "$open_command" in *'Program Files\Tov\tov.exe" "%1"') ;; *) fail "the .tvd open command is $open_command" ;; esac

# The tests the check works on, in a folder and under names in Japanese.
docs="$drive_c/users/$(whoami)/Documents/現場試験"
mkdir -p "$docs/一括"
cp samples/unsteady.tvd "$docs/透水試験 B-1.tvd"
cp samples/*.tvd "$docs/一括/"
test_win='C:\users\'"$(whoami)"'\Documents\現場試験\透水試験 B-1.tvd'
docs_win='C:\users\'"$(whoami)"'\Documents\現場試験'

step "opening 透水試験 B-1.tvd through its file type, on screen"
touch -d '2020-01-01 00:00' "$docs/透水試験 B-1.tvd"
(LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine" start "$test_win" > "$out/window.log" 2>&1 &)
# The program holds a lock beside the test while it is open.
lock=""
for _ in $(seq 120); do
  lock=$(find "$docs" -maxdepth 1 -name '.~lock.*' 2> /dev/null | head -1)
  [ -n "$lock" ] && break
  sleep 1
done
[ -n "$lock" ] || fail "the window did not open the test within 120 s"
sleep 8  # the first paint
import -window root "$out/window.png"
echo "   screenshot: $out/window.png"
# Keys go to Wine's active window: a click on the program's title bar makes
# it that (Wine's desktop takes no focus request from outside).
window=$(xdotool search --name '現場透水試験' 2> /dev/null | head -1 || true)
if [ -n "$window" ]; then
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + 8)) click 1
  sleep 1
else
  fail "no window named 現場透水試験 on the display"
fi
xdotool key ctrl+s
sleep 4
[ "$(stat -c %Y "$docs/透水試験 B-1.tvd")" -gt "$(date -d '2020-01-02' +%s)" ] || fail "Ctrl+S did not save 透水試験 B-1.tvd"
cmp -s "$docs/透水試験 B-1.tvd" samples/unsteady.tvd || fail "the saved test differs from the test read"
import -window root "$out/window-saved.png"
xdotool key alt+F4
for _ in $(seq 30); do pgrep -f 'Tov\\tov\.exe' > /dev/null || break; sleep 1; done
if pgrep -f 'Tov\\tov\.exe' > /dev/null; then
  import -window root "$out/window-not-closed.png"
  fail "Alt+F4 did not close the window within 30 s (window-not-closed.png)"
  "$wineserver" -k || true
fi
"$wineserver" -w
[ -z "$(find "$docs" -maxdepth 1 \( -name '.~lock.*' -o -name '*.tmp-*' \) 2> /dev/null)" ] || fail "a lock or temporary file stayed beside the test"

step "PDF and PNG export with tov-cli.exe"
cli() { (cd "$program" && "$wine" ./tov-cli.exe "$@") 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
cli --export-pdf "$docs_win\\透水試験 B-1.pdf" "$test_win" > "$out/export-pdf.log" || fail "--export-pdf: $(cat "$out/export-pdf.log")"
cli --export-png "$docs_win\\透水試験 B-1" "$test_win" --dpi 100 > "$out/export-png.log" || fail "--export-png: $(cat "$out/export-png.log")"
linux="$out/linux"
mkdir -p "$linux/root"
cp samples/unsteady.tvd "$linux/透水試験 B-1.tvd"
TOV_ROOT="$linux/root" QT_QPA_PLATFORM=offscreen "$linux_tov" --export-pdf "$linux/透水試験 B-1.pdf" "$linux/透水試験 B-1.tvd"
TOV_ROOT="$linux/root" QT_QPA_PLATFORM=offscreen "$linux_tov" --export-png "$linux/透水試験 B-1" "$linux/透水試験 B-1.tvd" --dpi 100
if [ -f "$docs/透水試験 B-1.pdf" ]; then
  pdftotext -layout "$docs/透水試験 B-1.pdf" "$out/windows.txt"
  pdftotext -layout "$linux/透水試験 B-1.pdf" "$out/linux.txt"
  if cmp -s "$out/windows.txt" "$out/linux.txt"; then
    echo "   the PDF's text is the Linux export's ($(wc -l < "$out/linux.txt") lines, $(pdfinfo "$docs/透水試験 B-1.pdf" | sed -n 's/^Pages: *//p') pages)"
  else
    fail "the PDF's text differs from the Linux export's"; diff "$out/linux.txt" "$out/windows.txt" | head -20
  fi
  pdffonts "$docs/透水試験 B-1.pdf" > "$out/pdffonts.txt"
  sed 1,2d "$out/pdffonts.txt" | awk '{ if ($(NF-4) != "yes") bad = 1 } END { exit bad }' \
    || fail "a font of the PDF is not embedded: $(cat "$out/pdffonts.txt")"
  echo "   fonts: $(sed 1,2d "$out/pdffonts.txt" | awk '{print $1}' | sed 's/^[A-Z]*+//' | sort -u | tr '\n' ' ')"
else
  fail "no PDF written"
fi
pngs=$(ls "$docs"/透水試験\ B-1-*.png 2> /dev/null | wc -l)
[ "$pngs" -gt 0 ] && [ "$pngs" -eq "$(ls "$linux"/透水試験\ B-1-*.png | wc -l)" ] || fail "$pngs PNG pages, the Linux export has $(ls "$linux"/透水試験\ B-1-*.png | wc -l)"
for f in "$docs"/透水試験\ B-1-*.png; do
  [ -f "$f" ] || continue
  l="$linux/$(basename "$f")"
  [ "$(identify -format %wx%h "$f")" = "$(identify -format %wx%h "$l")" ] || fail "$(basename "$f") is not the Linux page's size"
  cp "$f" "$out/windows-$(basename "$f" | sed 's/.*-//')"
done

step "the batch: a folder to one PDF with bookmarks and a workbook"
cli --export-pdf "$docs_win\\一括.pdf" --combine "$docs_win\\一括" --summary-table "$docs_win\\一覧.xlsx" > "$out/batch.log" \
  || fail "the batch: $(cat "$out/batch.log")"
mkdir -p "$linux/一括"
cp samples/*.tvd "$linux/一括/"
TOV_ROOT="$linux/root" QT_QPA_PLATFORM=offscreen "$linux_tov" --export-pdf "$linux/一括.pdf" --combine "$linux/一括" \
  --summary-table "$linux/一覧.xlsx" > /dev/null
[ -f "$docs/一括.pdf" ] && [ "$(pdfinfo "$docs/一括.pdf" | sed -n 's/^Pages: *//p')" = "$(pdfinfo "$linux/一括.pdf" | sed -n 's/^Pages: *//p')" ] \
  || fail "the combined PDF's pages differ from Linux's"
# The same words at the same places (-layout: without it pdftotext orders the
# words by their boxes, whose heights come from each system's font metrics).
[ "$(pdftotext -layout "$docs/一括.pdf" - 2>/dev/null | md5sum)" = "$(pdftotext -layout "$linux/一括.pdf" - 2>/dev/null | md5sum)" ] \
  || fail "the combined PDF's text differs from Linux's"
for part in xl/worksheets/sheet1.xml xl/sharedStrings.xml; do
  cmp -s <(unzip -p "$docs/一覧.xlsx" "$part" 2> /dev/null) <(unzip -p "$linux/一覧.xlsx" "$part") \
    || fail "the workbook's $part differs from Linux's"
done
[ ${#failures[@]} -gt 0 ] || echo "   一括.pdf ($(pdfinfo "$docs/一括.pdf" | sed -n 's/^Pages: *//p') pages) and 一覧.xlsx as on Linux"

step "the logger import on the command line"
# A logger's export typed in a spreadsheet (CP932): elapsed seconds and the
# depth to water in centimetres, five minutes at the static level (the
# record's own ho), then a recovery from 1.5 m below it.
{
  printf '経過時間(s),水位(cm),,\r\n' | iconv -f UTF-8 -t CP932
  awk 'BEGIN { for (p = 0; p < 300; p += 30) printf "%d,200.0,,\r\n", p
               n = split("0 5 10 15 20 30 40 50 60 90 120 150 180 240 300 360 420 480 540 600 900 1200", t, " ")
               for (i = 1; i <= n; i++) printf "%d,%.1f,,\r\n", 300 + t[i], 200 + 150 * exp(-t[i] / 532.579) }'
} > "$docs/ロガー.csv"
cp "$docs/ロガー.csv" "$linux/ロガー.csv"
cli --import-readings "$docs_win\\ロガー.csv" --output "$docs_win\\取込.tvd" > "$out/import.log" \
  || fail "the import: $(cat "$out/import.log")"
TOV_ROOT="$linux/root" "$linux_tov" --import-readings "$linux/ロガー.csv" --output "$linux/取込.tvd" > /dev/null 2>&1 || true
cmp -s "$docs/取込.tvd" "$linux/取込.tvd" && echo "   取込.tvd is the Linux import's, byte for byte" \
  || fail "取込.tvd differs from the Linux import's"

step "the zip, unpacked to a folder of the user's"
zip="${setup%-setup.exe}.zip"
if [ -f "$zip" ]; then
  unpacked="$docs/展開"
  mkdir -p "$unpacked"
  unzip -q "$zip" -d "$unpacked"
  folder="$unpacked/$(basename "$zip" .zip)"
  (cd "$folder" && "$wine" ./tov-cli.exe --export-pdf "$docs_win\\展開.pdf" "$test_win") 2>&1 | tr -d '\r' > "$out/zip.log" \
    || fail "tov-cli.exe from the zip: $(cat "$out/zip.log")"
  if [ -f "$docs/展開.pdf" ] && cmp -s <(pdftotext -layout "$docs/展開.pdf" -) "$out/linux.txt"; then
    echo "   tov-cli.exe from the unpacked zip exports the same PDF text"
  else
    fail "the unpacked zip's export differs from the Linux export"
  fi
  rm -rf "$unpacked"
else
  fail "no $(basename "$zip") beside the setup"
fi

step "silent uninstall"
"$wine" "C:\\Program Files\\Tov\\uninstall.exe" /S > "$out/uninstall.log" 2>&1 || fail "the uninstaller returned $?"
"$wineserver" -w
for _ in $(seq 30); do [ -e "$program" ] || break; sleep 1; "$wineserver" -w; done
snapshot "$out/after"
# What stays is the user's: the tests and exports in Documents, and what the
# program itself wrote (its settings under AppData, the install folder of
# its data files on C:, Wine's own caches).
own='^\./(users/[^/]+/(Documents|AppData/Roaming/Tov|AppData/Local/Tov)|Rundalk)(/|$)'
LC_ALL=C comm -13 "$out/before.files" "$out/after.files" | grep -Ev "$own" > "$out/left-files.txt" || true
LC_ALL=C comm -13 "$out/before.system.keys" "$out/after.system.keys" | grep -iE 'tov|\.tvd|現場' > "$out/left-keys.txt" || true
LC_ALL=C comm -13 "$out/before.user.keys" "$out/after.user.keys" | grep -iE 'tov|\.tvd|現場' >> "$out/left-keys.txt" || true
if [ -s "$out/left-files.txt" ] || [ -s "$out/left-keys.txt" ]; then
  fail "the uninstall left: $(cat "$out/left-files.txt" "$out/left-keys.txt" | head -20 | tr '\n' ' ')"
else
  echo "   nothing of the install is left; the program's own data stays: $(LC_ALL=C comm -13 "$out/before.files" "$out/after.files" \
    | grep -E "$own" | grep -oE '^\./(users/[^/]+/[^/]+/[^/]+|Rundalk)' | sort -u | tr '\n' ' ')"
fi

echo
echo "Windows GUI check: $((SECONDS - start_time)) s; screenshots in $out"
if [ ${#failures[@]} -gt 0 ]; then
  printf 'failed: %s\n' "${failures[@]}"
  exit 1
fi
echo "passed"
