#!/usr/bin/env bash
# Walks through the real window as an engineer uses it (scripts/walk.py), at 1366x768 and at 1920x1080,
# each on an Xvfb display of its own with openbox as the window manager (without one when it is missing).
#   scripts/walk.sh [BUILD_DIR] [--only JOB]...     (BUILD_DIR: build)
# Screenshots and the files the walk saved go into BUILD_DIR/walk/WxH/. Status 0 only when every check passed.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="build"
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then build="$1"; shift; fi
program="$root/$build/tov"
[ -x "$program" ] || { echo "walk: no program at $program (scripts/build.sh $build first)"; exit 2; }
# The logger samples kept beside the repository, or where TOV_LOGGER_SAMPLES points (as the tests find them);
# without them the two jobs that import them say so and are not run.
samples="${TOV_LOGGER_SAMPLES:-$root/../shared/logger-samples}"
[ -f "$samples/TRUTH.txt" ] || samples=""
for tool in Xvfb xdotool import compare pdftotext pdfinfo; do
  command -v "$tool" > /dev/null || { echo "walk: $tool is missing (scripts/setup.sh installs it)"; exit 2; }
done

# One size on a display of its own: Xvfb, openbox when it is there, the walk. Both sizes run at once (the
# walk mostly waits for the window), each printing into its own log, shown when both have ended.
walk_size() {
  local size="$1" out="$root/$build/walk/$1" pids=() status
  shift
  mkdir -p "$out"
  rm -f "$out/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3> "$out/display" 2> "$out/xvfb.log" &
  pids+=("$!")
  for _ in $(seq 50); do [ -s "$out/display" ] && break; sleep 0.2; done
  local display=":$(cat "$out/display")"
  if command -v openbox > /dev/null; then
    DISPLAY="$display" openbox > "$out/openbox.log" 2>&1 &
    pids+=("$!")
    sleep 0.5
  fi
  python3 "$root/scripts/walk.py" --program "$program" --display "$display" --size "$size" --out "$out" \
    ${samples:+--samples "$samples"} "$@" > "$out/walk.log" 2>&1
  status=$?
  kill "${pids[@]}" 2> /dev/null
  wait "${pids[@]}" 2> /dev/null
  return $status
}

start=$SECONDS
status=0
walk_size 1366x768 "$@" &
small=$!
walk_size 1920x1080 "$@" &
large=$!
wait $small || status=1
wait $large || status=1
cat "$root/$build/walk/1366x768/walk.log" "$root/$build/walk/1920x1080/walk.log"
echo "== walk: $((SECONDS - start)) s, load $(cut -d' ' -f1-3 /proc/loadavg): $([ $status -eq 0 ] && echo passed || echo FAILED)"
exit $status
