#!/usr/bin/env bash
# Installs the package on a fresh Debian 12 root, starts the program there on
# a sample under an X display, takes a screenshot, removes the package and
# checks that nothing of it is left. Needs root, debootstrap and a running X
# server (Xvfb :N); not part of CI (it fetches a whole system).
#   scripts/debian12_check.sh ROOT_DIR DISPLAY SCREENSHOT.png
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(realpath -m "$1"); display=$2; shot=$(realpath -m "$3")
deb=$(ls dist/tov_*_"$(dpkg --print-architecture)".deb | tail -n 1)
[ -x "$root/bin/sh" ] || debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/tmp/.X11-unix" "$root/dev/shm"
mount -t proc proc "$root/proc"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
mount --bind /dev/shm "$root/dev/shm"
trap 'umount "$root/dev/shm" "$root/tmp/.X11-unix" "$root/proc"' EXIT
in_root() { chroot "$root" env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

in_root apt-get update -qq
cp "$deb" samples/unsteady.tvd "$root/tmp/"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/tmp/$(basename "$deb")" > /dev/null
in_root tov --version
in_root env DISPLAY="$display" tov /tmp/unsteady.tvd & started=$!
sleep 8
import -window root -display "$display" "$shot"
pid=$(for p in $(pgrep -x tov); do [ "$(readlink "/proc/$p/root")" = "$root" ] && echo "$p"; done)
[ -n "$pid" ] || { echo "debian12 check: the program is not running"; exit 1; }
kill "$pid"; wait "$started" || true
files=$(in_root dpkg -L tov | while read -r f; do [ -d "$root$f" ] || echo "$f"; done)
in_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q tov > /dev/null
if in_root dpkg-query -W tov 2> /dev/null; then echo "debian12 check: dpkg still knows tov"; exit 1; fi
# Dependencies stay (apt autoremove takes them); nothing of the package may.
left=$(for f in $files; do [ -e "$root$f" ] && echo "$f"; done; ls "$root"/var/lib/dpkg/info/tov.* 2> /dev/null || true)
[ -z "$left" ] || { echo "debian12 check: left behind:"; echo "$left"; exit 1; }
echo "debian12 check: installed $(echo "$files" | wc -l) files, started (screenshot $shot), removed without a trace"
