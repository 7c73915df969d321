#!/usr/bin/env bash
# Builds the Debian package and checks it as shipped: unpacked into a scratch
# root, its program prints a sample's summary and exports it to PDF, shows the
# package's version, and lintian and appstreamcli accept the package: lintian
# finds no error or warning, and none of the notes of a program built without
# Debian's hardening or stripped otherwise than Debian strips.
set -euo pipefail
cd "$(dirname "$0")/.."
# The package script prints only the package's path on standard output; its
# progress and a failed build's output reach the log on standard error.
deb=$(bash scripts/package.sh)
[ -f "$deb" ] || { echo "package check: no package was made"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
tov="$scratch/root/usr/bin/tov"
export TOV_ROOT="$scratch/drives" QT_QPA_PLATFORM=offscreen

"$tov" --summary samples/unsteady.tvd | tee "$scratch/summary.txt"
grep -q '^透水係数 k' "$scratch/summary.txt" || { echo "package check: no k in the summary"; exit 1; }
"$tov" --export-pdf "$scratch/unsteady.pdf" samples/unsteady.tvd
pages=$(pdfinfo "$scratch/unsteady.pdf" | sed -n 's/^Pages: *//p')
[ "${pages:-0}" -ge 2 ] || { echo "package check: the PDF has ${pages:-no} pages"; exit 1; }

# One version: the package's number, the program's line and the PDF's creator.
version=$(dpkg-deb -f "$deb" Version)
IFS=. read -r major minor patch <<< "$version"
line="Tov Version $major  R$((minor * 100 + patch))"
[ "$("$tov" --version)" = "$line" ] || { echo "package check: --version is not \"$line\""; exit 1; }
pdfinfo "$scratch/unsteady.pdf" | grep -qx "Creator: *$line" \
  || { echo "package check: the PDF's creator is not \"$line\""; exit 1; }

lintian --fail-on error,warning --display-info "$deb" | tee "$scratch/lintian.txt"
if grep -E 'hardening-|binary-has-unneeded-section|unstripped-binary|desktop-entry-lacks-keywords' "$scratch/lintian.txt"; then
  echo "package check: the program is not hardened or stripped as Debian builds it (lintian, above)"
  exit 1
fi
appstreamcli validate --no-net "$scratch"/root/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$scratch/root/usr/share/applications/tov.desktop"
echo "package check: $deb passed"
