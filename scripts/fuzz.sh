#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/, clang with libFuzzer, AddressSanitizer and
# UBSan) and runs each for SECONDS (default 600), one after another on one
# core: scripts/fuzz.sh [SECONDS] [TARGET...]; FUZZ_JOBS=N runs N targets at
# a time (each still for SECONDS, on a core of its own).
#
# Each input may take 5 s and 2 GB at most. New inputs that reach new code
# are kept in build-fuzz/corpus/TARGET (the seeds in fuzz/corpus/TARGET are
# only read). Findings (crashes, hangs, runaway memory) are written to
# out/fuzz-findings/TARGET/ and listed at the end; the script then fails.
# Reproduce one with: build-fuzz/fuzz/TARGET FILE
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_tvd fuzz_settings fuzz_font fuzz_register fuzz_cp932 fuzz_readings_paste fuzz_lock_recovery
           fuzz_logger_import fuzz_xle_reader fuzz_run_deflate fuzz_xlsx_numbers)
fi

jobs="${FUZZ_JOBS:-1}"

bash scripts/setup.sh
start=$SECONDS
CC=clang CXX=clang++ bash scripts/build.sh build-fuzz \
  -DTOV_FUZZ=ON -DTOV_WITH_QT=OFF -DTOV_BUILD_TESTS=OFF -DTOV_BUILD_BENCH=OFF
echo "fuzz: built in $((SECONDS - start)) s"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
run_target() {
  local target="$1" corpus="build-fuzz/corpus/$1" findings="out/fuzz-findings/$1" seeds=()
  mkdir -p "$corpus" "$findings"
  [ -d "fuzz/corpus/$target" ] && seeds=("fuzz/corpus/$target")
  "build-fuzz/fuzz/$target" "$corpus" "${seeds[@]}" \
    -dict=fuzz/tov.dict -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
    -max_len=16384 -artifact_prefix="$findings/" -print_final_stats=1 \
    > "$findings/log.txt" 2>&1
}
# The targets in groups of $jobs, each group's results told when it is done.
failed=()
for ((first = 0; first < ${#targets[@]}; first += jobs)); do
  group=("${targets[@]:first:jobs}")
  pids=()
  for target in "${group[@]}"; do
    echo "== $target: ${seconds} s"
    run_target "$target" & pids+=($!)
  done
  for i in "${!group[@]}"; do
    target="${group[$i]}" findings="out/fuzz-findings/${group[$i]}"
    status=0
    wait "${pids[$i]}" || status=$?
    echo "-- $target"
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done [0-9]+ runs)' "$findings/log.txt" || true
    if [ $status -ne 0 ]; then
      echo "$target: FINDING (see $findings/log.txt)"
      ls -1 "$findings" | grep -v '^log.txt$' | sed "s|^|  $findings/|" || true
      failed+=("$target")
    fi
  done
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Findings in: ${failed[*]}"
  exit 1
fi
echo "No findings."
