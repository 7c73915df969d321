#!/usr/bin/env bash
# Sets everything up, builds the program (only the program, not the tests
# and benchmarks) and runs its main job: exporting the pages of the bundled
# sample tests to PDF and PNG under out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
TOV_BUILD_TARGET=tov bash scripts/build.sh build
mkdir -p out
# A private settings folder (unless TOV_ROOT names one), so the job does not
# depend on, or change, the user's own settings.
export TOV_ROOT="${TOV_ROOT:-$PWD/out/drives}"
export QT_QPA_PLATFORM=offscreen
for sample in samples/*.tvd; do
  name=$(basename "$sample" .tvd)
  ./build/tov --summary "$sample"
  ./build/tov --export-pdf "out/$name.pdf" "$sample"
  ./build/tov --export-png "out/$name" "$sample" --dpi 100
done
echo "Pages written to $PWD/out/"
ls -1 out
