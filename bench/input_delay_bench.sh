#!/usr/bin/env bash
# The longest input delay of the desktop program while a request to the service hangs: the
# program's timer probe (PELMORA_TIMING) reports once a second how late its event loop ran, which
# is the longest an input event could have waited. Under Xvfb, against the demo service:
#   click  - the first episode of the catalogue is clicked and its resource request hangs;
#   next   - the first episode plays and the request for the next one hangs;
#   start  - the service accepts connections and never answers (pages, statistics, update file);
#   plain  - the floor: the same click with a service that answers at once.
# PELMORA_BENCH_SCENARIOS chooses some of them (default: all four). PELMORA_BENCH_LOGS names a
# folder that keeps the program's timing output of each run; with PELMORA_TIMING_STACKS=1 the
# program also prints the stack of every stall (to find what holds the event loop up).
# Each scenario runs RUNS times (default 3) for SECONDS seconds (default 25: longer than the
# 15 s request time-out); prints the longest delay of each run and the worst of all.
# Usage: bench/input_delay_bench.sh [RUNS] [SECONDS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PELMORA_BENCH_BUILD:-$top/build-bench}
runs=${1:-3}
seconds=${2:-25}
port=${PELMORA_DEMO_PORT:-8762}

# PELMORA_BENCH_PREBUILT=1 uses the programs already built in PELMORA_BENCH_BUILD as they are.
. "$top/bench/desktop_setup.sh"
bench_prepare

display=:$((140 + RANDOM % 40))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox"; fi
# A runtime folder of its own: a Pelmora the user (or another benchmark) runs meanwhile is
# neither handed this run's start nor mistaken for it.
mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
# The click comes once the window has settled after its pages loaded, as a user's would;
# PELMORA_BENCH_CLICK=at-once clicks the moment the last page has loaded.
export PELMORA_SHUTDOWN_COMMAND="true"
if [ "${PELMORA_BENCH_CLICK:-}" = at-once ]; then export PELMORA_TIMING=play-at-once
else export PELMORA_TIMING=play; fi
sleep 1

# A service that takes every connection and never answers.
silent_service() {
  exec python3 -c '
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(64)
held = []
while True:
    held.append(s.accept()[0])
' "$1"
}

# One run: starts the service for the scenario and the program, waits SECONDS after the click
# (or after the start when nothing is clicked), prints the longest lag after the window showed.
run_once() {
  local scenario=$1 log="$work/$1.log" service_pid
  case $scenario in
    click) "$build/service/pelmora-demo-service" --port "$port" --data "$media" \
             --fail hang:101-1-1 --hang-seconds 60 >/dev/null 2>&1 & ;;
    next) "$build/service/pelmora-demo-service" --port "$port" --data "$media" \
            --fail hang:101-1-2 --hang-seconds 60 >/dev/null 2>&1 & ;;
    start) silent_service "$port" >/dev/null 2>&1 & ;;
    plain) "$build/service/pelmora-demo-service" --port "$port" --data "$media" \
             >/dev/null 2>&1 & ;;
  esac
  service_pid=$!
  sleep 1
  rm -rf "$work/home"
  PELMORA_SERVICE_URL="http://127.0.0.1:$port/" "$build/src/pelmora" --home "$work/home" \
    2>"$log" >/dev/null &
  local pid=$! waited=0
  if [ "$scenario" != start ]; then
    while ! grep -q "pelmora-timing click" "$log" && [ $waited -lt 600 ]; do
      sleep 0.1; waited=$((waited + 1))
    done
  fi
  sleep "$seconds"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  kill "$service_pid" 2>/dev/null || true
  wait "$service_pid" 2>/dev/null || true
  if [ -n "${PELMORA_BENCH_LOGS:-}" ]; then
    mkdir -p "$PELMORA_BENCH_LOGS"
    cp "$log" "$PELMORA_BENCH_LOGS/$scenario-$(date +%H%M%S).log"
  fi
  # The probe's seconds after the click; with nothing clicked, after the first three seconds
  # (the program's own start, which is not waiting on the network, fills those).
  awk -v scenario="$scenario" '
    /pelmora-timing click/ {clicked = 1}
    /pelmora-timing lag/ {
      n++
      if ((scenario == "start" && n > 3) || (scenario != "start" && clicked)) {
        if ($3 > max) max = $3
      }
    }
    END {print max + 0}' "$log"
}

echo "scenario  longest input delay of each run (ms)   worst"
for scenario in ${PELMORA_BENCH_SCENARIOS:-click next start plain}; do
  results=()
  for run in $(seq 1 "$runs"); do results+=("$(run_once "$scenario")"); done
  worst=$(printf '%s\n' "${results[@]}" | sort -n | tail -1)
  printf "%-8s  %-38s %s\n" "$scenario" "${results[*]}" "$worst"
done
echo "target: 100 ms"
