#!/usr/bin/env bash
# The next episode through the download engine after the end of one: builds the program, its
# engine terminal and the demo service optimised (build-bench/), makes the demo clips once and
# runs bench/engine_next_episode.cpp under Xvfb (RUNS times, default 3), printing each run's
# medians of "end to first frame" and "play to first frame" over its five transitions.
# Usage: bench/engine_next_bench.sh [RUNS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PELMORA_BENCH_BUILD:-$top/build-bench}
runs=${1:-3}

"$top/scripts/install-deps.sh" media window-tests
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_SANITIZE=OFF \
  -DPELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target engine_next_episode >/dev/null
media="$build/demo-media"
"$top/scripts/make-demo-media.sh" "$media" >/dev/null

xvfb=""
trap '[ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true' EXIT
if [ -z "${DISPLAY:-}" ]; then
  display=:$((90 + RANDOM % 40))
  Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=$display
  sleep 1
fi
for ((run = 1; run <= runs; run++)); do
  "$build/bench/engine_next_episode" "$media" 2>/dev/null | grep median
done
