#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the fuzz targets
# (clang with libFuzzer, llvm-symbolizer), the Debian package and its checks
# (dpkg-shlibdeps, lintian, appstreamcli) and the program need.
# Safe to run again: packages already present are not touched.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  dpkg-dev lintian appstream
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n libgl-dev
  fonts-ipafont-mincho fonts-ipafont-gothic fontconfig libfontconfig-dev fonts-droid-fallback
  xvfb xauth x11-apps imagemagick poppler-utils xdotool openbox
  shared-mime-info desktop-file-utils locales
  clang libclang-rt-dev llvm ccache
  libxlsxwriter-dev libqpdf-dev zlib1g-dev unzip libexpat1-dev
)

source "$(dirname "${BASH_SOURCE[0]}")/apt-install.sh"
install_missing "${packages[@]}"

# The locale tests format numbers under a German locale (decimal comma).
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "warning: could not generate de_DE.UTF-8"
fi
