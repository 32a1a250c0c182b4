#!/usr/bin/env bash
# The time a second start of the desktop program takes to hand its file to the running window
# and end, measured on the optimised program (build-bench/) against a window on a virtual screen
# (Xvfb): RUNS second starts (default 20), each timed from its start to its end. Prints the
# median and the longest, and how many processes the second starts left behind (browser helpers
# would be among them; there are none: a second start ends before the browser engine is set up).
# Usage: bench/second_start_bench.sh [RUNS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PELMORA_BENCH_BUILD:-$top/build-bench}
runs=${1:-20}

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_SANITIZE=OFF \
  -DPELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target pelmora >/dev/null

"$top/scripts/install-deps.sh" window-tests
work=$(mktemp -d)
first=
screen=
cleanup() {
  if [ -n "$first" ]; then kill "$first" 2>/dev/null || true; wait "$first" 2>/dev/null || true; fi
  if [ -n "$screen" ]; then kill "$screen" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
screen=$!
read -r number <"$work/display"
export DISPLAY=:$number
mkdir -m 0700 "$work/run"
export XDG_RUNTIME_DIR=$work/run DBUS_SESSION_BUS_ADDRESS=disabled:
export PELMORA_SERVICE_URL=http://127.0.0.1:9/ PELMORA_SHUTDOWN_COMMAND=true
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu${QTWEBENGINE_CHROMIUM_FLAGS:+ $QTWEBENGINE_CHROMIUM_FLAGS}"
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_CHROMIUM_FLAGS="$QTWEBENGINE_CHROMIUM_FLAGS --no-sandbox"; fi
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

"$build/src/pelmora" --home "$work/home" >"$work/first.log" 2>&1 &
first=$!
# The window is up once it took a command: its local list then holds it.
for _ in $(seq 1 600); do
  "$build/src/pelmora" --home "$work/home" "/media/bench/warm-up" >/dev/null 2>&1 || true
  grep -q "/media/bench/warm-up" "$work/home/date_f.dat" 2>/dev/null && break
  sleep 0.1
done
sleep 2  # the browser panes finish their first loads

# Processes that carry the second starts' mark in their environment: the starts' own children.
left_behind() { grep -l "PELMORA_BENCH_MARK=second" /proc/[0-9]*/environ 2>/dev/null | wc -l; }
times=()
stray=0
for i in $(seq 1 "$runs"); do
  start=$(date +%s%N)
  PELMORA_BENCH_MARK=second "$build/src/pelmora" --home "$work/home" "/media/bench/$i.mp4"
  end=$(date +%s%N)
  times+=($(((end - start) / 1000000)))
  stray=$((stray + $(left_behind)))
done
delivered=$(grep -c "/media/bench/[0-9]*\.mp4|" "$work/home/date_f.dat" || true)
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
median=$(echo "$sorted" | sed -n "$(((runs + 1) / 2))p")
longest=$(echo "$sorted" | tail -n 1)
echo "second start: median ${median} ms, longest ${longest} ms over $runs starts;" \
  "$delivered of $runs files arrived; processes left behind by them: $stray"
