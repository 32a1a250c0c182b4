#!/usr/bin/env bash
# Start-up, memory and first-frame figures of the desktop program against a floor measured in
# the same run, under Xvfb: the floor is ten bare browser views on ten trivial loopback sites
# (bench/webview_floor.cpp). For each of RUNS runs (default 5) it measures, for both programs:
# start to window shown, start to every page loaded, and the proportional memory (PSS, from
# /proc/PID/smaps_rollup) of all their processes, browser helpers included, once loaded. Then
# the time from a click on an episode to its first frame in Pelmora, against standalone mpv
# showing the first frame of the same clip. Prints the medians and the ratios.
# Both programs start with their profile and files from an earlier run (not counted), as on an
# ordinary start.
# Usage: bench/desktop_bench.sh [RUNS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PELMORA_BENCH_BUILD:-$top/build-bench}
runs=${1:-5}
port=${PELMORA_DEMO_PORT:-8761}

"$top/scripts/install-deps.sh" media window-tests
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_SANITIZE=OFF \
  -DPELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target pelmora pelmora-demo-service webview_floor >/dev/null
media="$build/demo-media"
"$top/scripts/make-demo-media.sh" "$media" >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 40))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
"$build/service/pelmora-demo-service" --port "$port" --data "$media" >/dev/null 2>&1 &
pids+=($!)
sleep 1
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox"; fi
export PELMORA_SERVICE_URL="http://127.0.0.1:$port/" PELMORA_SHUTDOWN_COMMAND="true"

now_ms() { date +%s%3N; }

# PSS in KiB of a process and all its descendants.
pss_tree() {
  local total=0 pid
  for pid in $(pstree -pT "$1" 2>/dev/null | grep -o '([0-9]\+)' | tr -d '()'); do
    local kb
    kb=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0)
    total=$((total + ${kb:-0}))
  done
  echo "$total"
}

# Runs one program until its log has the line "<prefix> loaded" (or 60 s), prints
# "shown_ms loaded_ms pss_kib [first_frame_ms]".
measure() {
  local prefix=$1 log=$2
  shift 2
  local start
  start=$(now_ms)
  "$@" 2>"$log" >/dev/null &
  local pid=$!
  local waited=0
  while ! grep -q "$prefix loaded" "$log" && [ $waited -lt 600 ]; do sleep 0.1; waited=$((waited + 1)); done
  sleep 2  # let the helpers settle before reading their memory
  local pss
  pss=$(pss_tree "$pid")
  local frame=""
  if [ "${PELMORA_TIMING:-}" = play ]; then
    waited=0
    while ! grep -q "first-frame" "$log" && [ $waited -lt 300 ]; do sleep 0.1; waited=$((waited + 1)); done
    local click first
    click=$(awk '/timing click/ {print $3}' "$log")
    first=$(awk '/timing first-frame/ {print $3}' "$log")
    [ -n "$click" ] && [ -n "$first" ] && frame=$((first - click))
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  local shown loaded
  shown=$(awk -v p="$prefix" '$0 ~ p" shown" {print $3}' "$log")
  loaded=$(awk -v p="$prefix" '$0 ~ p" loaded" {print $3}' "$log")
  echo "$((shown - start)) $((loaded - start)) $pss $frame"
}

median() { sort -n | awk '{a[NR]=$1} END {if (NR % 2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }

: >"$work/floor" ; : >"$work/pelmora"
# Both keep their browser profile between runs (the floor in its default place, Pelmora in its
# program folder), as a user's evening start does: one run of each first, not counted, so that
# every counted run is an ordinary start rather than the very first one.
measure floor-timing "$work/floor.log" "$build/bench/webview_floor" >/dev/null
PELMORA_TIMING=1 measure pelmora-timing "$work/pelmora.log" \
  "$build/src/pelmora" --home "$work/home" >/dev/null
for run in $(seq 1 "$runs"); do
  measure floor-timing "$work/floor.log" "$build/bench/webview_floor" >>"$work/floor"
  PELMORA_TIMING=play measure pelmora-timing "$work/pelmora.log" \
    "$build/src/pelmora" --home "$work/home" >>"$work/pelmora"
  echo "run $run: floor $(tail -1 "$work/floor") | pelmora $(tail -1 "$work/pelmora")" >&2
done

# Standalone mpv: from start to its first frame of the same clip over HTTP (it ends after it).
clip="http://127.0.0.1:$port/qvod/p101-s1-e01.mp4"
: >"$work/mpv"
for run in $(seq 1 "$runs"); do
  start=$(now_ms)
  mpv --no-config --really-quiet --ao=null --vo=x11 --frames=1 "$clip" >/dev/null 2>&1 || true
  echo $(( $(now_ms) - start )) >>"$work/mpv"
done

column() { awk -v c="$1" '{print $c}' "$2" | median; }
floor_shown=$(column 1 "$work/floor"); floor_loaded=$(column 2 "$work/floor"); floor_pss=$(column 3 "$work/floor")
app_shown=$(column 1 "$work/pelmora"); app_loaded=$(column 2 "$work/pelmora"); app_pss=$(column 3 "$work/pelmora")
app_frame=$(awk '$4 != "" {print $4}' "$work/pelmora" | median)
mpv_frame=$(median <"$work/mpv")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
echo "medians over $runs runs          floor      pelmora   ratio  target"
printf "start to window shown (ms)   %8s   %8s   %5s  1.3\n" "$floor_shown" "$app_shown" "$(ratio "$app_shown" "$floor_shown")"
printf "start to every page (ms)     %8s   %8s   %5s  1.5\n" "$floor_loaded" "$app_loaded" "$(ratio "$app_loaded" "$floor_loaded")"
printf "PSS once loaded (MiB)        %8s   %8s   %5s  1.5\n" "$((floor_pss / 1024))" "$((app_pss / 1024))" "$(ratio "$app_pss" "$floor_pss")"
printf "click to first frame (ms)    %8s   %8s   %5s  1.5  (floor: standalone mpv, start to first frame)\n" "$mpv_frame" "${app_frame:-n/a}" "$(ratio "${app_frame:-0}" "$mpv_frame")"
