#!/usr/bin/env bash
# The layers hold: no include reaches upwards. Each row: the files checked,
# the includes they must not have, and what such an include would break.
# tests/include_layers.sh SOURCE_DIR
set -uo pipefail
cd "${1:-$(dirname "$0")/..}/src" || exit 2
core="record files render analysis import batch"
rows=(
  "dialogs/qt;app/;the dialogs' widgets would depend on the application that calls them (they may run a command of cli/)"
  "cli;(app|dialogs/qt)/;the commands without a window would depend on the window or the dialogs' widgets"
  "qt;(app|dialogs|cli)/;the Qt layer would depend on what stands on it"
  "$core dialogs/*.h dialogs/*.cpp;(Q|qt);the core would need Qt (it builds without it)"
  "$core dialogs/*.h dialogs/*.cpp;(app|dialogs/qt|cli)/;the core would reach into the widgets or the commands"
  "record files;(render|analysis|import|batch|dialogs)/;the records and file formats would depend on the engines that use them"
)
failed=0
for row in "${rows[@]}"; do
  IFS=';' read -r places forbidden why <<< "$row"
  existing=()
  for p in $places; do [ -e "$p" ] && existing+=("$p"); done
  [ ${#existing[@]} -eq 0 ] && continue
  if hits=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]$forbidden" "${existing[@]}"); then
    echo "forbidden include ($why):"
    echo "$hits"
    failed=1
  fi
done
[ $failed -eq 0 ] && echo "the include layers hold"
exit $failed
