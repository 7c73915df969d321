#!/usr/bin/env bash
# install_missing PACKAGE...: installs with apt-get the Debian packages that
# are not installed yet (as root, or through sudo). Sourced by the set-up
# scripts; packages already present are not touched.
install_missing() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# debian_source PACKAGE DIR: unpacks Debian's source package PACKAGE into DIR
# with apt-get source (from the archives the system uses: source entries are
# added in a file of their own when the system has none) and prints the unpacked folder.
# Nothing is fetched when DIR holds it already.
debian_source() {
  local package="$1" dir="$2" src sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  src=$(find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$package-[0-9]*" -print -quit)
  if [ -z "$src" ]; then
    install_missing dpkg-dev >&2
    if ! apt-get source --print-uris "$package" > /dev/null 2>&1; then
      echo "== deb-src entry for Debian's source packages" >&2
      # The archives the system already uses, as source entries.
      if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
          | $sudo tee /etc/apt/sources.list.d/tov-deb-src.sources > /dev/null
      elif grep -q '^deb ' /etc/apt/sources.list 2>/dev/null; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/tov-deb-src.list > /dev/null
      else
        $sudo tee /etc/apt/sources.list.d/tov-deb-src.sources > /dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
      fi
      $sudo apt-get update -qq >&2
    fi
    echo "== $package source (apt-get source)" >&2
    (cd "$dir" && apt-get source -qq "$package" > "$dir/source.log" 2>&1) || { cat "$dir/source.log" >&2; return 1; }
    src=$(find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$package-[0-9]*" -print -quit)
    [ -n "$src" ] || { echo "apt-get source unpacked no $package-* folder in $dir" >&2; return 1; }
  fi
  echo "$src"
}
