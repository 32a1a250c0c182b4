#!/usr/bin/env bash
# The next episode through the download engine after the end of one: builds the program, its
# engine terminal and the demo service optimised (build-bench/), makes the demo clips once and
# runs bench/engine_next_episode.cpp under Xvfb (RUNS times, default 3), printing each transition
# (end to first frame; when the end-of-playback step ran and when the next item started; play to
# first frame) and each run's medians over its five transitions.
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
# The output goes to a file: the browser engine's helper processes of a program that ended badly
# would keep a pipe open.
out=$(mktemp)
trap 'rm -f "$out"; [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true' EXIT
for ((run = 1; run <= runs; run++)); do
  "$build/bench/engine_next_episode" "$media" >"$out" 2>/dev/null </dev/null || true
  cat "$out"
done
