#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh [DIR] [extra cmake options...]
# TOV_BUILD_TARGET=NAME builds only that target (and what it needs).
# Compiles go through ccache when it is installed (scripts/compiler-cache.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
dir="${1:-build}"; shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${ccache_launcher[@]}" "$@" \
  > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" ${TOV_BUILD_TARGET:+--target "$TOV_BUILD_TARGET"}
