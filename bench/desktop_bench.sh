#!/usr/bin/env bash
# Start-up, memory and playing figures of the desktop program against floors measured in the
# same run, under Xvfb.
# - Start-up and memory: the floor is ten bare browser views on ten trivial loopback sites
#   (bench/webview_floor.cpp). For each of RUNS runs (default 5) it measures, for both programs:
#   start to window shown, start to every page loaded, and the proportional memory (PSS, from
#   /proc/PID/smaps_rollup) of all their processes, browser helpers included, once loaded, also
#   by kind of process. Both start with their profile and files from an earlier run (not
#   counted), as on an ordinary start.
# - Click on an episode to its first frame in Pelmora, against standalone mpv showing the first
#   frame of the same clip: clicked by the page (no pointer on it before), and pressed as a
#   person does, the pointer resting on the episode for DWELL_MS (default 300) first.
# - CPU while playing: a 1280x720 30 fps H.264 clip played by Pelmora (given on its command
#   line), against standalone mpv (`--vo=gpu --gpu-context=x11egl`) playing the same clip at the
#   size Pelmora shows it, both for PLAY_SECONDS (default 20) once playing: the CPU time of all
#   the program's processes, and apart from it the X server's.
# - Idle: the CPU share of all the program's processes once its pages have loaded and its panes
#   have come to rest, with the window shown and then with it unmapped (as when minimised or
#   in the tray), each for IDLE_SECONDS (default 30).
# - Tab presses: once the panes behind the tabs rest, each tab is pressed through the X server
#   (bench/tab_show) and the pane's pixels on the screen are watched until they show its page.
# Prints the medians, the ratios and the targets. Everything it starts ends with it, the engine
# terminal that Pelmora starts from its player folder included.
# Usage: bench/desktop_bench.sh [RUNS]
# PELMORA_BENCH_PREBUILT=1 uses the programs already built in PELMORA_BENCH_BUILD (default
# build-bench). Pelmora plays as it ships: on X11 mpv draws into a window of its own inside
# Pelmora's. PELMORA_BENCH_RENDER_API=1 also measures the picture through mpv's render API
# (PELMORA_VIDEO_OUTPUT=widget, the path on Wayland), whose picture Qt composes with the whole
# window.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PELMORA_BENCH_BUILD:-$top/build-bench}
runs=${1:-5}
play_seconds=${PLAY_SECONDS:-20}
idle_seconds=${IDLE_SECONDS:-30}
port=${PELMORA_DEMO_PORT:-8761}
dwell_ms=${DWELL_MS:-300}

source "$top/bench/desktop_setup.sh"
bench_prepare webview_floor QvodTerminal.exe tab_show

# Ends every process started by a path inside the work folder (the engine terminal Pelmora
# starts from its player folder keeps running after the window, as it should for a user).
end_started_from_work() {
  local pid first
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    first=$({ tr '\0' '\n' <"/proc/$pid/cmdline" | head -1; } 2>/dev/null || true)
    case "$first" in "$work"/*) kill "$pid" 2>/dev/null || true ;; esac
  done
}
trap 'end_started_from_work; bench_cleanup' EXIT

display=:$((90 + RANDOM % 40))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
pids+=("$xvfb")
export DISPLAY=$display
"$build/service/pelmora-demo-service" --port "$port" --data "$media" >/dev/null 2>&1 &
pids+=($!)
sleep 1
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox"; fi
mkdir -p "$work/run"
chmod 700 "$work/run"
export PELMORA_SERVICE_URL="http://127.0.0.1:$port/" PELMORA_SHUTDOWN_COMMAND="true"
export XDG_RUNTIME_DIR="$work/run" DBUS_SESSION_BUS_ADDRESS=disabled:

now_ms() { date +%s%3N; }
tree_pids() { pstree -pT "$1" 2>/dev/null | grep -o '([0-9]\+)' | tr -d '()'; }

# The kind of a process: the browser engine's helpers say theirs on their command line (a
# renderer forked from a zygote keeps the zygote's: it is the zygote's child without children).
args_of() { { tr '\0' ' ' <"/proc/$1/cmdline"; } 2>/dev/null || true; }
kind_of() {
  local line parent
  line=$(args_of "$1")
  parent=$(awk '{print $4}' "/proc/$1/stat" 2>/dev/null || echo 0)
  case "$line" in
    *--type=renderer*) echo renderer ;;
    *--type=zygote*)
      if [[ "$(args_of "$parent")" == *--type=zygote* ]] && ! pgrep -P "$1" >/dev/null; then
        echo renderer
      else
        echo zygote
      fi ;;
    *--type=gpu-process*) echo gpu ;;
    *--type=utility*) echo utility ;;
    *QvodTerminal.exe*) echo terminal ;;
    *--type=*) echo helper ;;
    *) if [ "$1" = "$2" ]; then echo main; else echo other; fi ;;
  esac
}

# PSS in KiB of a process and all its descendants: "total kind=KiB/count ...".
pss_tree() {
  local total=0 pid kb kind
  declare -A by_kind=() count=()
  for pid in $(tree_pids "$1"); do
    kb=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0)
    kb=${kb:-0}
    kind=$(kind_of "$pid" "$1")
    total=$((total + kb))
    by_kind[$kind]=$((${by_kind[$kind]:-0} + kb))
    count[$kind]=$((${count[$kind]:-0} + 1))
  done
  local out="$total"
  for kind in main renderer zygote gpu utility helper terminal other; do
    [ -n "${by_kind[$kind]:-}" ] && out+=" $kind=${by_kind[$kind]}/${count[$kind]}"
  done
  echo "$out"
}

# CPU time in clock ticks of a process and all its descendants.
cpu_tree() {
  local total=0 pid ticks
  for pid in $(tree_pids "$1"); do
    ticks=$(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null || echo 0)
    total=$((total + ${ticks:-0}))
  done
  echo "$total"
}
cpu_of() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
hz=$(getconf CLK_TCK)

# Runs one program until its log has the line "<prefix> loaded" (or 60 s), prints
# "shown_ms loaded_ms pss_kib [first_frame_ms]" and the PSS by kind on a line to $work/kinds.
# With PELMORA_TIMING=play (the first episode clicked once the window has settled) the memory
# is not read: it would count the player's.
measure() {
  local prefix=$1 log=$2
  shift 2
  local start
  start=$(now_ms)
  "$@" 2>"$log" >/dev/null &
  local pid=$!
  local waited=0
  while ! grep -qs "$prefix loaded" "$log" && [ $waited -lt 600 ]; do sleep 0.1; waited=$((waited + 1)); done
  local pss=0 frame=""
  if [ "${PELMORA_TIMING:-}" != play ]; then
    sleep 2  # let the helpers settle before reading their memory
    pss=$(pss_tree "$pid")
    echo "$prefix $pss" >>"$work/kinds"
  else
    waited=0
    while ! grep -q "first-frame" "$log" && [ $waited -lt 300 ]; do sleep 0.1; waited=$((waited + 1)); done
    local click first
    click=$(awk '/timing click/ {print $3}' "$log")
    first=$(awk '/timing first-frame/ {print $3}' "$log")
    [ -n "$click" ] && [ -n "$first" ] && frame=$((first - click))
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  end_started_from_work
  keep_log "$log"
  local shown loaded
  shown=$(awk -v p="$prefix" '$0 ~ p" shown" {print $3}' "$log")
  loaded=$(awk -v p="$prefix" '$0 ~ p" loaded" {print $3}' "$log")
  echo "$((shown - start)) $((loaded - start)) ${pss%% *} $frame"
}

# CPU share (percent of one core) of a process tree and of the X server over play_seconds,
# from `settle` seconds after the process is ready: prints "program_percent xserver_percent".
cpu_share() {
  local pid=$1
  local p0 x0 p1 x1 t0 t1
  p0=$(cpu_tree "$pid"); x0=$(cpu_of "$xvfb"); t0=$(now_ms)
  sleep "$play_seconds"
  p1=$(cpu_tree "$pid"); x1=$(cpu_of "$xvfb"); t1=$(now_ms)
  awk -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v ms=$((t1 - t0)) -v hz="$hz" \
    'BEGIN { printf "%.1f %.1f\n", p * 100000 / hz / ms, x * 100000 / hz / ms }'
}

# PELMORA_BENCH_LOGS=DIR keeps the output of every program run there.
keep_log() {
  if [ -n "${PELMORA_BENCH_LOGS:-}" ]; then
    mkdir -p "$PELMORA_BENCH_LOGS"
    cp "$1" "$PELMORA_BENCH_LOGS/$(date +%s%N)-$(basename "$1")"
  fi
}

# Starts Pelmora with its output to the log $1 and waits until its pages have loaded and its
# panes have come to rest (the start-up work ended); sets `pid`.
start_at_rest() {
  PELMORA_TIMING=idle "$build/src/pelmora" --home "$work/home" 2>"$1" >/dev/null &
  pid=$!
  local waited=0
  while ! grep -qs "pelmora-timing loaded" "$1" && [ $waited -lt 600 ]; do sleep 0.1; waited=$((waited + 1)); done
  sleep 12
}
end_program() {  # pid log
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  end_started_from_work
  keep_log "$2"
}
median() { sort -n | awk '{a[NR]=$1} END {if (NR % 2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }

: >"$work/floor" ; : >"$work/pelmora" ; : >"$work/click" ; : >"$work/kinds" ; : >"$work/hand"
# The first episode pressed through the X server once the window has settled: the pointer moves
# onto it and rests there for dwell_ms, then presses. Prints the milliseconds from the press to
# the first frame.
press_by_hand() {
  local log="$work/hand.log" waited=0 x y press first
  PELMORA_TIMING=play-by-hand "$build/src/pelmora" --home "$work/home" 2>"$log" >/dev/null &
  local pid=$!
  while ! grep -qs "episode-at" "$log" && [ $waited -lt 600 ]; do sleep 0.1; waited=$((waited + 1)); done
  read -r _ _ x y < <(grep "episode-at" "$log" | head -1) || true
  xdotool mousemove "${x:-0}" "${y:-0}"
  sleep "$(awk -v ms="$dwell_ms" 'BEGIN { print ms / 1000 }')"
  press=$(now_ms)
  xdotool click 1
  waited=0
  while ! grep -q "first-frame" "$log" && [ $waited -lt 300 ]; do sleep 0.1; waited=$((waited + 1)); done
  first=$(awk '/timing first-frame/ {print $3}' "$log")
  [ -n "$first" ] && echo $((first - press))
  xdotool mousemove 0 0
  end_program "$pid" "$log"
}
# Both keep their browser profile between runs (the floor in its default place, Pelmora in its
# program folder), as a user's evening start does: one run of each first, not counted, so that
# every counted run is an ordinary start rather than the very first one.
measure floor-timing "$work/floor.log" "$build/bench/webview_floor" >/dev/null
PELMORA_TIMING=1 measure pelmora-timing "$work/pelmora.log" \
  "$build/src/pelmora" --home "$work/home" >/dev/null
: >"$work/kinds"
for run in $(seq 1 "$runs"); do
  measure floor-timing "$work/floor.log" "$build/bench/webview_floor" >>"$work/floor"
  PELMORA_TIMING=1 measure pelmora-timing "$work/pelmora.log" \
    "$build/src/pelmora" --home "$work/home" >>"$work/pelmora"
  PELMORA_TIMING=play measure pelmora-timing "$work/pelmora.log" \
    "$build/src/pelmora" --home "$work/home" >>"$work/click"
  press_by_hand >>"$work/hand"
  echo "run $run: floor $(tail -1 "$work/floor") | pelmora $(tail -1 "$work/pelmora") | click $(tail -1 "$work/click" | cut -d' ' -f4) | load $(cut -d' ' -f1 /proc/loadavg)" >&2
done

# Standalone mpv: from start to its first frame of the same clip over HTTP (it ends after it).
clip="http://127.0.0.1:$port/qvod/p101-s1-e01.mp4"
: >"$work/mpv"
for run in $(seq 1 "$runs"); do
  start=$(now_ms)
  mpv --no-config --really-quiet --ao=null --vo=x11 --frames=1 "$clip" >/dev/null 2>&1 || true
  echo $(( $(now_ms) - start )) >>"$work/mpv"
done

# Playing: the same 1280x720 30 fps clip, long enough for start-up and the measured stretch.
big="$work/clip-1280x720-30fps.mp4"
ffmpeg -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=30" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t $((play_seconds + 25)) \
  -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest "$big"
: >"$work/play-pelmora" ; : >"$work/play-mpv" ; : >"$work/play-render"
play_pelmora() {  # output file, extra environment
  local out=$1 log="$work/play.log"
  shift
  env "$@" PELMORA_TIMING=1 "$build/src/pelmora" --home "$work/home" "$big" 2>"$log" >/dev/null &
  local pid=$! waited=0
  while ! grep -qs "timing picture" "$log" && [ $waited -lt 300 ]; do sleep 0.1; waited=$((waited + 1)); done
  sleep 2
  read -r _ _ _ width height < <(grep "timing picture" "$log" | head -1) || true
  echo "$(cpu_share "$pid") ${width:-0} ${height:-0}" >>"$out"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  end_started_from_work
  keep_log "$log"
}
for run in $(seq 1 "$runs"); do
  play_pelmora "$work/play-pelmora"
  read -r _ _ width height < <(tail -1 "$work/play-pelmora")
  mpv --no-config --really-quiet --ao=null --vo=gpu --gpu-context=x11egl --osc=no \
    --geometry="${width}x${height}+0+0" --no-keepaspect-window "$big" >/dev/null 2>&1 &
  mpv_pid=$!
  sleep 3
  echo "$(cpu_share "$mpv_pid")" >>"$work/play-mpv"
  kill "$mpv_pid" 2>/dev/null || true
  wait "$mpv_pid" 2>/dev/null || true
  if [ -n "${PELMORA_BENCH_RENDER_API:-}" ]; then
    play_pelmora "$work/play-render" PELMORA_VIDEO_OUTPUT=widget
  fi
  echo "play run $run: pelmora $(tail -1 "$work/play-pelmora") | mpv $(tail -1 "$work/play-mpv") | load $(cut -d' ' -f1 /proc/loadavg)" >&2
done

# Idle: once loaded and at rest, shown and then unmapped; all processes, and apart from them
# the engine terminal's share (a process of its own that Pelmora starts).
idle_share() {  # pid: prints "all_percent terminal_percent"
  local terminal p0 e0 t0 p1 e1 t1
  terminal=$(pgrep -f "^$work/.*QvodTerminal" | head -1 || true)
  p0=$(cpu_tree "$1"); e0=$(cpu_of "${terminal:-0}"); t0=$(now_ms)
  sleep "$idle_seconds"
  p1=$(cpu_tree "$1"); e1=$(cpu_of "${terminal:-0}"); t1=$(now_ms)
  awk -v p=$((p1 - p0)) -v e=$((e1 - e0)) -v ms=$((t1 - t0)) -v hz="$hz" \
    'BEGIN { printf "%.2f %.2f\n", p * 100000 / hz / ms, e * 100000 / hz / ms }'
}
: >"$work/idle"
for run in $(seq 1 "$runs"); do
  log="$work/idle.log"
  start_at_rest "$log"
  shown=$(idle_share "$pid")
  for window in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
    xdotool windowunmap "$window" 2>/dev/null || true
  done
  sleep 3
  unmapped=$(idle_share "$pid")
  echo "$shown $unmapped" >>"$work/idle"
  end_program "$pid" "$log"
  echo "idle run $run: shown $shown | unmapped $unmapped (% of a core: all, terminal) | load $(cut -d' ' -f1 /proc/loadavg)" >&2
done

# Tab presses: two rounds over the six tabs in each run, the panes at rest before each press.
: >"$work/tabs"
for run in $(seq 1 "$runs"); do
  log="$work/tabs.log"
  start_at_rest "$log"
  window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -1 || true)
  [ -n "$window" ] && "$build/bench/tab_show" "$window" 2 | tee -a "$work/tabs" | tail -1 >&2
  end_program "$pid" "$log"
done

column() { awk -v c="$1" '{print $c}' "$2" | median; }
floor_shown=$(column 1 "$work/floor"); floor_loaded=$(column 2 "$work/floor"); floor_pss=$(column 3 "$work/floor")
app_shown=$(column 1 "$work/pelmora"); app_loaded=$(column 2 "$work/pelmora"); app_pss=$(column 3 "$work/pelmora")
app_frame=$(awk '$4 != "" {print $4}' "$work/click" | median)
mpv_frame=$(median <"$work/mpv")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
# The median PSS of one kind of process (MiB) and how many there were, over the counted runs.
kind_pss() {
  { grep "^$1-timing " "$work/kinds" || true; } | tr ' ' '\n' | { grep "^$2=" || true; } | cut -d= -f2 |
    awk -F/ '{print $1 / 1024, $2}' | sort -n | awk '{a[NR]=$1; c[NR]=$2} END {if (NR) printf "%.0f (%d)", a[int((NR+1)/2)], c[int((NR+1)/2)]; else print "-"}' || true
}
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
echo "medians over $runs runs          floor      pelmora   ratio  target"
printf "start to window shown (ms)   %8s   %8s   %5s  1.1\n" "$floor_shown" "$app_shown" "$(ratio "$app_shown" "$floor_shown")"
printf "start to every page (ms)     %8s   %8s   %5s  0.8\n" "$floor_loaded" "$app_loaded" "$(ratio "$app_loaded" "$floor_loaded")"
printf "PSS once loaded (MiB)        %8s   %8s   %5s  1.0\n" "$((floor_pss / 1024))" "$((app_pss / 1024))" "$(ratio "$app_pss" "$floor_pss")"
for kind in main renderer zygote gpu utility helper terminal other; do
  f=$(kind_pss floor "$kind"); p=$(kind_pss pelmora "$kind")
  [ "$f$p" = "--" ] || printf "  %-26s %10s %10s   (MiB, processes)\n" "$kind" "$f" "$p"
done
printf "click to first frame (ms)    %8s   %8s   %5s  keep  (floor: standalone mpv, start to first frame)\n" "$mpv_frame" "${app_frame:-n/a}" "$(ratio "${app_frame:-0}" "$mpv_frame")"
hand_frame=$(median <"$work/hand")
printf "  pressed after %s ms on it %8s   %8s   %5s\n" "$dwell_ms" "$mpv_frame" "${hand_frame:-n/a}" "$(ratio "${hand_frame:-0}" "$mpv_frame")"
mpv_cpu=$(column 1 "$work/play-mpv"); app_cpu=$(column 1 "$work/play-pelmora")
mpv_x=$(column 2 "$work/play-mpv"); app_x=$(column 2 "$work/play-pelmora")
size="$(column 3 "$work/play-pelmora")x$(column 4 "$work/play-pelmora")"
printf "CPU playing, %% of a core     %8s   %8s   %5s  1.2  (floor: standalone mpv; 1280x720 30 fps shown %s, %s s)\n" "$mpv_cpu" "$app_cpu" "$(ratio "$app_cpu" "$mpv_cpu")" "$size" "$play_seconds"
printf "  X server meanwhile         %8s   %8s   %5s\n" "$mpv_x" "$app_x" "$(ratio "$app_x" "$mpv_x")"
if [ -s "$work/play-render" ]; then
  render_cpu=$(column 1 "$work/play-render"); render_x=$(column 2 "$work/play-render")
  printf "  through the render API     %8s   %8s   %5s  (X server %s)\n" "$mpv_cpu" "$render_cpu" "$(ratio "$render_cpu" "$mpv_cpu")" "$render_x"
fi
printf "idle, window shown, %% of a core     %8s   (engine terminal %s)  0.5\n" "$(column 1 "$work/idle")" "$(column 2 "$work/idle")"
printf "idle, window unmapped, %% of a core  %8s   (engine terminal %s)  0.1\n" "$(column 3 "$work/idle")" "$(column 4 "$work/idle")"
# From a tab's press to its pane showing the page (all but 1 % of its pixels as they end up):
# the panes that come back as they were, and the TV and music tabs, which share one pane that
# loads the other's page from the service on each change between them.
tab_figures() {  # label, names pattern
  local shown
  shown=$(grep -E "^tab +($2) " "$work/tabs" | awk '{print $7}')
  printf "tab press to its page shown, %-12s median %s ms, slowest %s, of %s presses  100\n" \
    "$1" "$(echo "$shown" | median)" "$(echo "$shown" | sort -n | tail -1)" "$(echo "$shown" | grep -c .)"
}
tab_figures "comes back" "novels|recommendations|playback|library"
tab_figures "loads (TV, music)" "tv|music"
