#!/usr/bin/env bash
# Builds the Debian package of the program into dist/: a build of the program
# alone (build-package/) with Debian's hardening flags (cmake/DebianFlags.cmake)
# and the test build's optimisation, so that its compiles come from the
# compiler cache after a test run; installed into a staging root under /usr and
# stripped as Debian strips a program (debug information, .comment and .note
# go), with the documentation Debian asks for, its dependencies from the
# libraries the program links (dpkg-shlibdeps) and the fonts and Qt parts it
# needs at run time. Prints the package's path on standard output and nothing
# else there: the steps, the build's progress and, when the build fails, its
# whole output go to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2
source scripts/compiler-cache.sh
build=build-package
echo "package: configuring $build (RelWithDebInfo with Debian's hardening flags)" >&2
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOV_DEBIAN_FLAGS=ON \
  -DTOV_BUILD_TESTS=OFF -DTOV_BUILD_BENCH=OFF "${ccache_launcher[@]}" \
  > "$build.configure.log" 2>&1 || { cat "$build.configure.log" >&2; exit 1; }
# The build's output goes to a log; a line of progress every tenth of the
# steps (ninja's "[done/total]"), and the log itself when the build fails.
echo "package: building $build (the whole output in $build.build.log)" >&2
if ! cmake --build "$build" --target tov 2>&1 | tee "$build.build.log" | awk '
    match($0, /^\[[0-9]+\/[0-9]+\]/) {
      split(substr($0, 2, RLENGTH - 2), n, "/")
      step = int(n[1] * 10 / n[2])
      if (step > shown) { shown = step; printf "package: build %d/%d (%d %%)\n", n[1], n[2], n[1] * 100 / n[2]; fflush() }
    }' >&2; then
  echo "package: the build of $build failed:" >&2
  cat "$build.build.log" >&2
  exit 1
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
released=$(sed -n 's/^#define TOV_RELEASE_DATE "\(.*\)"$/\1/p' "$build/generated/TovVersion.h")
arch=$(dpkg --print-architecture)
root="$PWD/$build/root"
rm -rf "$root"
DESTDIR="$root" cmake --install "$build" --prefix /usr > /dev/null
# As dh_strip does for a program: no debug information, no .comment or .note.
strip --remove-section=.comment --remove-section=.note "$root/usr/bin/tov"

doc="$root/usr/share/doc/tov"
install -d "$doc"
install -m 644 packaging/copyright "$doc/copyright"
printf 'tov (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- %s  %s\n' "$version" "$version" \
  "Tov developers <dev@tov.invalid>" "$(LC_ALL=C date -u -R -d "$released")" | gzip -9n > "$doc/changelog.gz"
gzip -9n "$root/usr/share/man/man1/tov.1"
find "$root" -type d -exec chmod 755 {} +
find "$root" -type f -exec chmod 644 {} +
chmod 755 "$root/usr/bin/tov"

# Dependencies: the linked libraries' packages, the fonts of the pages, Qt's
# window-system plugins and Qt's Japanese translations.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/debian"
printf 'Source: tov\n\nPackage: tov\nArchitecture: any\n' > "$scratch/debian/control"
shlibs=$(cd "$scratch" && dpkg-shlibdeps -O --warnings=1 "$root/usr/bin/tov" | sed -n 's/^shlibs:Depends=//p')
depends="$shlibs, fonts-ipafont-gothic, fonts-ipafont-mincho, qt6-qpa-plugins, qt6-translations-l10n"

install -d "$root/DEBIAN"
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
sed -e "s|@VERSION@|$version|" -e "s|@ARCH@|$arch|" -e "s|@SIZE@|$size|" -e "s|@DEPENDS@|$depends|" \
  packaging/control.in > "$root/DEBIAN/control"
(cd "$root" && find usr -type f -printf '%P\n' | sed 's|^|usr/|' | LC_ALL=C sort | xargs md5sum) \
  > "$root/DEBIAN/md5sums"
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

mkdir -p dist
deb="dist/tov_${version}_${arch}.deb"
echo "package: writing $deb" >&2
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" > /dev/null
echo "$deb"
