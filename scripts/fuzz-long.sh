#!/usr/bin/env bash
# Long fuzzing, outside the test command: builds the libFuzzer targets (as scripts/fuzz.sh does)
# and runs every one of them, one after the other, for RUNS executions under `nice -n 19`, so
# that it only takes what the machine does not otherwise use. A target that has not reached RUNS
# after SECONDS stops there; the table says how far it got and at what rate.
# Usage: scripts/fuzz-long.sh [RUNS] [SECONDS-PER-TARGET] [build folder] [TARGET...]
#   scripts/fuzz-long.sh                  10^7 executions each, at most 4 hours each
#   scripts/fuzz-long.sh 10000000 900     at most 15 minutes each
#   scripts/fuzz-long.sh 10000000 14400 build-fuzz ini list_page   only these targets
# Inputs that reach new code are kept in BUILD/corpus/TARGET (shared with scripts/fuzz.sh). The
# table goes to standard output and to BUILD/long-fuzz.txt. A target that finds a fault stops
# the script with its input in BUILD/crash-TARGET-*.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10000000}
seconds=${2:-14400}
build=${3:-$top/build-fuzz}
shift $(( $# < 3 ? $# : 3 ))

"$top/scripts/fuzz-build.sh" "$build"

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}:detect_leaks=1
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
programs=()
if [ $# -gt 0 ]; then
  for target in "$@"; do programs+=("$build/${target}_fuzz"); done
else
  programs=("$build"/*_fuzz)
fi
table="$build/long-fuzz${1:+-$1}.txt"
printf '%-18s %12s %8s %10s %s\n' target executions seconds 'per second' reached | tee "$table"
for program in "${programs[@]}"; do
  target=$(basename "$program" _fuzz)
  mkdir -p "$build/corpus/$target"
  seeds=()
  if [ -d "$top/fuzz/corpus/$target" ]; then seeds=("$top/fuzz/corpus/$target"); fi
  log="$build/$target.long.log"
  start=$(date +%s)
  if ! nice -n 19 "$program" -runs="$runs" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$build/crash-$target-" \
      "$build/corpus/$target" "${seeds[@]}" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "fuzz-long: $target found a fault; see $log" >&2
    exit 1
  fi
  took=$(( $(date +%s) - start ))
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  reached=no
  if [ "${done_runs:-0}" -ge "$runs" ]; then reached=yes; fi
  printf '%-18s %12s %8s %10s %s\n' "$target" "$done_runs" "$took" "$rate" "$reached" | tee -a "$table"
done
