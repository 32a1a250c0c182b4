#!/usr/bin/env bash
# Builds the benchmarks optimised and runs each one ten times, printing the medians.
# Usage: scripts/bench.sh [build folder] [benchmark filter]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-bench}
filter=${2:-.}

"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_SANITIZE=OFF \
  -DPELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build"
for program in "$build"/bench/*_bench; do
  echo "== $(basename "$program")"
  # The benchmarks write real files: give them the disk the program folder would be on.
  "$program" --benchmark_filter="$filter" --benchmark_repetitions=10 \
    --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '_median|^-|Benchmark'
done
