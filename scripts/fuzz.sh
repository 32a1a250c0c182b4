#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, with clang, AddressSanitizer and UndefinedBehaviorSanitizer)
# in their own folder and runs each on its committed seed corpus.
# Usage: scripts/fuzz.sh [SECONDS-PER-TARGET] [build folder]
#   scripts/fuzz.sh          5 seconds each (the test command runs 3)
#   scripts/fuzz.sh 1800     a long run; inputs that reach new code are kept in
#                            BUILD/corpus/TARGET and used again by later runs
# A target that finds a fault stops the script with its input in BUILD/crash-TARGET-*; rerun it
# with BUILD/TARGET_fuzz THAT-FILE.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-5}
build=${2:-$top/build-fuzz}

"$top/scripts/fuzz-build.sh" "$build"

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}:detect_leaks=1
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for target in text_helpers link_grammar ini list_page channel_message engine_address http_head \
    byte_range service_query; do
  mkdir -p "$build/corpus/$target"
  log="$build/$target.log"
  if ! "$build/${target}_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$build/crash-$target-" \
      "$build/corpus/$target" "$top/fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "fuzz: $target found a fault; see $log" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz: $target: $runs executions in $seconds s, no fault"
done
