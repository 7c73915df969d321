#!/usr/bin/env bash
# Sourced by the build scripts: when ccache is there (scripts/setup.sh
# installs it), every build tree compiles through it, and a file compiled
# with the same flags in another tree (the package's after the test build's)
# or in another clone is taken from the cache. Paths under the repository
# are hashed relative to it (base_dir) and the build tree's own folder is
# not hashed (hash_dir), so build/ and build-package/ share their objects;
# the source folder is mapped to "." in the objects' debug information
# (CMakeLists.txt, cmake/DebianFlags.cmake). A CCACHE_* setting of the caller's
# own is kept. Sets ccache_launcher (cmake options, empty without ccache).
ccache_launcher=()
if command -v ccache > /dev/null; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
  export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
  ccache_launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
