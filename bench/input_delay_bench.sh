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
# 15 s request time-out); prints the longest delay of each run and the worst of all, as the probe
# saw it and as a Shift key pressed through the X server every few tens of ms took to arrive.
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

# Presses Shift through the X server (XTest) every 20 ms or so for KEY_SECONDS seconds once the pages
# have loaded, writing the wall-clock time of each press to the file `sent`; the program writes
# when each arrives ("pelmora-timing key").
key_seconds=6
press_keys() {  # log sent pid
  local waited=0 window end
  while ! grep -q "pelmora-timing loaded" "$1" && [ $waited -lt 600 ]; do
    sleep 0.1; waited=$((waited + 1))
  done
  window=$(xdotool search --onlyvisible --pid "$3" 2>/dev/null | head -1)
  [ -n "$window" ] && xdotool windowfocus "$window" 2>/dev/null
  end=$(($(date +%s) + key_seconds))
  while [ "$(date +%s)" -lt "$end" ]; do
    date +%s%3N >>"$2"
    xdotool key shift
    sleep 0.02
  done
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
  local pid=$! waited=0 presser=""
  : >"$work/sent"
  if [ "$scenario" != start ]; then
    press_keys "$log" "$work/sent" "$pid" &
    presser=$!
  fi
  if [ "$scenario" != start ]; then
    while ! grep -q "pelmora-timing click" "$log" && [ $waited -lt 600 ]; do
      sleep 0.1; waited=$((waited + 1))
    done
  fi
  sleep "$seconds"
  if [ -n "$presser" ]; then wait "$presser" 2>/dev/null || true; fi
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
  local lag key
  lag=$(awk -v scenario="$scenario" '
    /pelmora-timing click/ {clicked = 1}
    /pelmora-timing lag/ {
      n++
      if ((scenario == "start" && n > 3) || (scenario != "start" && clicked)) {
        if ($3 > max) max = $3
      }
    }
    END {print max + 0}' "$log")
  # The key presses sent from the click on: the longest from pressing to arriving. The n-th
  # arrival answers the n-th press; when some did not arrive the pairs are unknown ("-").
  key=$(awk '
    FNR == NR {sent[++ns] = $1; next}
    /pelmora-timing click/ {click = $3}
    /pelmora-timing key/ {got[++ng] = $3}
    END {
      if (ns == 0 || ns != ng || click == "") {print "-"; exit}
      for (i = 1; i <= ns; i++) if (sent[i] >= click && got[i] - sent[i] > max) max = got[i] - sent[i]
      print max + 0
    }' "$work/sent" "$log")
  echo "$lag/$key"
}

echo "longest input delay of each run in ms: event-loop probe / Shift key pressed through X"
echo "scenario  each run                                  worst probe  worst key"
for scenario in ${PELMORA_BENCH_SCENARIOS:-click next start plain}; do
  results=()
  for run in $(seq 1 "$runs"); do results+=("$(run_once "$scenario")"); done
  worst=$(printf '%s\n' "${results[@]}" | cut -d/ -f1 | sort -n | tail -1)
  worst_key=$(printf '%s\n' "${results[@]}" | cut -d/ -f2 | { grep -v -- - || true; } | sort -n | tail -1)
  printf "%-8s  %-41s %-12s %s\n" "$scenario" "${results[*]}" "$worst" "${worst_key:--}"
done
echo "target: 100 ms (a key press also carries the cost of starting xdotool, a few ms)"
