#!/usr/bin/env bash
# Builds the program as a Release build without debug information and
# installs it with its menu entry, icon and the "*.tvd" file type:
#   scripts/install.sh            into ~/.local (no root needed)
#   sudo scripts/install.sh /usr/local
set -euo pipefail
cd "$(dirname "$0")/.."
prefix="${1:-$HOME/.local}"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOV_BUILD_TESTS=OFF -DTOV_BUILD_BENCH=OFF \
  > build-release.configure.log 2>&1 || { cat build-release.configure.log; exit 1; }
cmake --build build-release --target tov
cmake --install build-release --prefix "$prefix" --strip
# Tell the desktop about the new menu entry, file type and icon.
if command -v update-desktop-database > /dev/null; then update-desktop-database "$prefix/share/applications"; fi
if command -v update-mime-database > /dev/null; then update-mime-database "$prefix/share/mime"; fi
if command -v gtk-update-icon-cache > /dev/null; then
  gtk-update-icon-cache -q -t "$prefix/share/icons/hicolor" || true
fi
echo "Installed $prefix/bin/tov"
