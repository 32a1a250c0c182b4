#!/usr/bin/env bash
# When a person sees an episode's first picture, read from the screen's pixels under Xvfb (never
# from the program's log or the player's report), against standalone mpv:
# - Press to first picture: the first episode of the catalogue pressed through the X server, the
#   pointer resting on it for DWELL_MS (default 300) first, to the first picture of that episode
#   on the screen. Its clip opens with 0.6 s of pure red and goes on in green, so the watcher
#   (bench/first_picture_watch.cpp) also says whether the opening was shown at all.
# - Against cold standalone mpv: a new mpv process (the program's video output, `--vo=gpu
#   --gpu-context=x11egl`, in a window the size of the program's picture) playing the same clip
#   from the demo service, from its start to its red on the screen.
# - End to next first picture: the first episode plays to its end by itself. Its clip closes
#   with a blue tail of TAIL_MS; the end of the episode on the screen is the moment its blue is
#   first seen plus TAIL_MS (the clip plays at its own speed, and the time from a frame to the
#   screen counts alike at both ends). From there to the second episode's first picture (its
#   clip opens red, then goes on in yellow). mpv playing the two clips one after the other gives
#   the same figure for a player without an end step, and so checks the definition: near 0.
# Prints the medians over RUNS (default 5), the ratios and the targets: press to first picture
# at most 0.5x cold mpv (aim 0.25x), end to next first picture at most 2.4 s (the program's
# 2 s end step included).
# The demo service serves the catalogue from a clips folder the bench lays out in its work folder:
# the demo clips, with the first programme's first two episodes replaced by the bench's clips.
# Every run starts the program with the same program folder, copied from one made by a start
# that is not counted (the browser's profile as on an ordinary start, and no episode played
# before, so none resumes). Everything it starts ends with it; the service listens on loopback.
# An opening counts as seen when any of its red reached the screen; the figures also say how long
# it was there (all of it: 600 ms). The watcher reads the window every 2 ms or so and says how
# much of a core that took.
# Usage: bench/first_picture_bench.sh [RUNS]
# PELMORA_BENCH_PREBUILT=1 uses the programs already built in PELMORA_BENCH_BUILD (default
# build-bench); PELMORA_BENCH_LOGS=DIR keeps the program's output and the watcher's of each run,
# and the screen as the watch of the program ended.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PELMORA_BENCH_BUILD:-$top/build-bench}
runs=${1:-5}
port=${PELMORA_DEMO_PORT:-$((20000 + RANDOM % 20000))}
dwell_ms=${DWELL_MS:-300}
clip_seconds=${CLIP_SECONDS:-6}
tail_ms=${TAIL_MS:-1000}
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

source "$top/bench/desktop_setup.sh"
bench_prepare QvodTerminal.exe first_picture_watch
watch="$build/bench/first_picture_watch"
if [ ! -x "$watch" ]; then
  echo "first_picture_bench: $watch was not built (needs the x11, xext and xtst packages)" >&2
  exit 1
fi

# Ends every process started by a path inside the work folder (the engine terminal that the
# program starts from its program folder keeps running after the window, as it should), and
# waits until they have gone: the terminal writes its state into the program folder as it ends,
# and the next run copies a program folder anew.
end_started_from_work() {
  local pid first waited=0
  local -a ending=() left=()
  for pid in /proc/[0-9]*; do
    pid=${pid#/proc/}
    first=$({ tr '\0' '\n' <"/proc/$pid/cmdline" | head -1; } 2>/dev/null || true)
    case "$first" in
      "$work"/*) kill "$pid" 2>/dev/null && ending+=("$pid") ;;
    esac
  done
  while :; do
    left=()
    for pid in "${ending[@]}"; do
      if [ -e "/proc/$pid" ] && ! grep -qs '^State:.*Z' "/proc/$pid/status"; then left+=("$pid"); fi
    done
    [ ${#left[@]} -eq 0 ] && return 0
    if [ $waited -ge 100 ]; then
      kill -KILL "${left[@]}" 2>/dev/null || true
      return 0
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
}
program=""  # the program while it runs
end_all() {
  if [ -n "$program" ]; then kill "$program" 2>/dev/null || true; wait "$program" 2>/dev/null || true; fi
  end_started_from_work
  bench_cleanup
}
trap end_all EXIT

# The clips: 320x180 at 30 frames a second with a tone, H.264/AAC as the demo's own. The first
# episode: red for 0.6 s, green, and the blue tail; the second: red for 0.6 s, then yellow.
make_clip() {  # file body_colour tail_colour
  local body_s
  body_s=$(awk -v l="$clip_seconds" -v t="$tail_ms" 'BEGIN { print l - 0.6 - t / 1000 }')
  ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f lavfi -i "color=c=red:s=320x180:r=30:d=0.6" \
    -f lavfi -i "color=c=$2:s=320x180:r=30:d=$body_s" \
    -f lavfi -i "color=c=$3:s=320x180:r=30:d=$(awk -v t="$tail_ms" 'BEGIN { print t / 1000 }')" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$clip_seconds" \
    -filter_complex "[0:v][1:v][2:v]concat=n=3:v=1:a=0[v]" -map "[v]" -map 3:a \
    -c:v libx264 -preset veryfast -crf 32 -pix_fmt yuv420p -c:a aac -b:a 48k -ac 1 \
    -movflags +faststart "$1"
}
data="$work/data"
mkdir -p "$data"
cp "$media"/* "$data"/
make_clip "$data/p101-s1-e01.mp4" 0x00ff00 0x0000ff
make_clip "$data/p101-s1-e02.mp4" 0xffff00 0xffff00

# An X server of its own on a display that no other is using (Xvfb picks it and says which).
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
"$build/service/pelmora-demo-service" --port "$port" --data "$data" >"$work/service.log" 2>&1 &
pids+=($!)
service="http://127.0.0.1:$port"
waited=0
# The service says when it serves (on a port that another took, it says it cannot and ends).
until [ -s "$work/display" ] && grep -qs "serving $service/" "$work/service.log"; do
  if [ $waited -ge 300 ]; then
    echo "first_picture_bench: the demo service or Xvfb did not start" >&2
    cat "$work/service.log" >&2
    exit 1
  fi
  sleep 0.1
  waited=$((waited + 1))
done
DISPLAY=":$(head -1 "$work/display")"
export DISPLAY
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox"; fi
mkdir -p "$work/run"
chmod 700 "$work/run"
export PELMORA_SERVICE_URL="$service/" PELMORA_SHUTDOWN_COMMAND="true"
export XDG_RUNTIME_DIR="$work/run" DBUS_SESSION_BUS_ADDRESS=disabled:

keep_log() {  # file name
  if [ -n "${PELMORA_BENCH_LOGS:-}" ]; then
    mkdir -p "$PELMORA_BENCH_LOGS"
    cp "$1" "$PELMORA_BENCH_LOGS/$(date +%s%N)-$2"
  fi
}
end_program() {  # pid log
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  program=""
  end_started_from_work
  keep_log "$2" pelmora.log
}
# Waits until the log has a line matching the pattern, for at most 60 s; fails if the program
# ended first.
wait_for_line() {  # pid log pattern
  local waited=0
  until grep -qs "$3" "$2"; do
    if [ $waited -ge 600 ] || ! kill -0 "$1" 2>/dev/null; then return 1; fi
    sleep 0.1
    waited=$((waited + 1))
  done
}

# The program folder of every counted run, as one start that is not counted left it.
PELMORA_TIMING=1 "$build/src/pelmora" --home "$work/first-home" 2>"$work/first.log" >/dev/null &
pid=$!
program=$pid
if ! wait_for_line "$pid" "$work/first.log" "pelmora-timing loaded"; then
  echo "first_picture_bench: the program did not load its pages" >&2
  tail -20 "$work/first.log" >&2
  exit 1
fi
end_program "$pid" "$work/first.log"

# The watcher's figures without "result", or nothing seen when it gave none.
result_of() {
  grep -m1 "^result " "$1" | cut -d' ' -f2- || echo "-1 -1 -1 -1 -1 -1 -1 0 0 0 0"
}
# One run of the program: the first episode pressed by hand, then its end and the next
# episode. Appends the watcher's result line (without "result") to $work/pelmora, or a line of
# -1 when the program never said where the episode is.
pelmora_run() {
  local log="$work/pelmora.log" x y
  rm -rf "${work:?}/home"
  cp -a "$work/first-home" "$work/home"
  : >"$log"  # before the start: the program's own redirection may come after the first look
  PELMORA_TIMING=play-by-hand "$build/src/pelmora" --home "$work/home" 2>"$log" >/dev/null &
  local pid=$!
  program=$pid
  if wait_for_line "$pid" "$log" "pelmora-timing episode-at"; then
    read -r _ _ x y < <(grep "episode-at" "$log" | head -1)
    "$watch" --press "$x,$y" --dwell "$dwell_ms" --follow >"$work/watch.out" || true
  else
    echo "result -1 -1 -1 -1 -1 -1 -1 0 0 0 0" >"$work/watch.out"
    echo "the program did not say where the episode is" >>"$work/watch.out"
  fi
  keep_log "$work/watch.out" pelmora-watch.txt
  if [ -n "${PELMORA_BENCH_LOGS:-}" ] && command -v import >/dev/null; then
    # The screen as the watch ended: the second episode's picture.
    import -window root "$work/screen.png" 2>/dev/null && keep_log "$work/screen.png" screen.png
  fi
  xdotool mousemove 0 0
  end_program "$pid" "$log"
  result_of "$work/watch.out" >>"$work/pelmora"
}
# One run of cold standalone mpv in a window of the program's picture size: the first clip and,
# at once after it, the second.
mpv_run() {  # width height
  "$watch" --area "0,0,$1,$2" --follow -- mpv --no-config --really-quiet --vo=gpu \
    --gpu-context=x11egl --ao=pipewire,pulse,alsa,jack,null --osc=no --geometry="$1x$2+0+0" \
    --no-keepaspect-window "$service/qvod/p101-s1-e01.mp4" "$service/qvod/p101-s1-e02.mp4" \
    >"$work/watch.out" 2>/dev/null || true
  keep_log "$work/watch.out" mpv-watch.txt
  result_of "$work/watch.out" >>"$work/mpv"
}

: >"$work/pelmora"
: >"$work/mpv"
# Per run: "first_ms opening(0/1) end_to_next_ms next_opening(0/1) first_again(0/1)
# opening_ms next_opening_ms": -1 or "none" for what was not seen; an opening's milliseconds are
# how long its red was on the screen (all of it: 600).
figures() {
  awk -v tail="$tail_ms" '{
    first = $1 >= 0 ? $1 : $2
    next_first = $5 >= 0 ? $5 : $6
    gap = ($3 >= 0 && next_first >= 0) ? next_first - ($3 + tail) : "none"
    opening = ($1 >= 0 && $2 >= 0) ? $2 - $1 : 0
    next_opening = ($5 >= 0 && $6 >= 0) ? $6 - $5 : 0
    print first, ($1 >= 0 ? 1 : 0), gap, ($5 >= 0 ? 1 : 0), ($7 >= 0 ? 1 : 0), opening, next_opening
  }' "$1"
}
shown_or_missed() { if [ "$1" = 1 ]; then echo "shown for $2 ms"; else echo missed; fi; }
for run in $(seq 1 "$runs"); do
  pelmora_run
  read -r _ _ _ _ _ _ _ _ _ width height < <(tail -1 "$work/pelmora")
  if [ "${width:-0}" -le 0 ]; then width=640; height=360; fi
  mpv_run "$width" "$height"
  read -r p_first p_open p_gap p_next_open p_again p_opening p_next_opening \
    < <(tail -1 "$work/pelmora" | figures /dev/stdin)
  read -r m_first m_open m_gap m_next_open _ m_opening m_next_opening \
    < <(tail -1 "$work/mpv" | figures /dev/stdin)
  {
    echo -n "run $run: pelmora press to picture $p_first ms (opening"
    echo -n " $(shown_or_missed "$p_open" "$p_opening")), end to next $p_gap ms (opening"
    echo -n " $(shown_or_missed "$p_next_open" "$p_next_opening"))"
    if [ "$p_again" = 1 ]; then echo -n ", the first episode again"; fi
    echo -n " | mpv $m_first ms (opening $(shown_or_missed "$m_open" "$m_opening")), end to next"
    echo -n " $m_gap ms (opening $(shown_or_missed "$m_next_open" "$m_next_opening"))"
    echo " | picture ${width}x${height} | load $(cut -d' ' -f1 /proc/loadavg)"
  } >&2
done

median() { sort -n | awk '{a[NR]=$1} END {if (NR == 0) print "n/a"; else if (NR % 2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }
seen() { awk -v c="$1" '$c != "none" && $c >= 0 {print $c}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "n/a" && b != "n/a" && b > 0) printf "%.2f", a / b; else print "n/a" }'; }
figures "$work/pelmora" >"$work/pelmora-figures"
figures "$work/mpv" >"$work/mpv-figures"
p_first=$(seen 1 <"$work/pelmora-figures" | median)
m_first=$(seen 1 <"$work/mpv-figures" | median)
p_gap=$(awk '$3 != "none" {print $3}' "$work/pelmora-figures" | median)
m_gap=$(awk '$3 != "none" {print $3}' "$work/mpv-figures" | median)
count() { awk -v c="$1" '$c == 1' "$2" | wc -l; }
opening() { awk -v c="$1" '{print $c}' "$2" | median; }
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; clips of ${clip_seconds} s, tail ${tail_ms} ms, pressed after ${dwell_ms} ms on the episode"
within() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "n/a") print "-"; else if (a <= b) print "met"; else print "not met" }'; }
press_ratio=$(ratio "$p_first" "$m_first")
echo "medians over $runs runs, from the screen       mpv   pelmora  ratio  target"
printf "press (mpv: start) to first picture (ms) %8s  %8s  %5s  0.5x mpv, aim 0.25x: %s\n" \
  "$m_first" "$p_first" "$press_ratio" "$(within "$press_ratio" 0.5)"
printf "  red opening seen, runs                  %8s  %8s\n" \
  "$(count 2 "$work/mpv-figures")/$runs" "$(count 2 "$work/pelmora-figures")/$runs"
printf "  red opening on screen (ms of 600)       %8s  %8s\n" \
  "$(opening 6 "$work/mpv-figures")" "$(opening 6 "$work/pelmora-figures")"
printf "end to next first picture (ms)           %8s  %8s         2400 ms: %s\n" "$m_gap" \
  "$p_gap" "$(within "$p_gap" 2400)"
printf "  red opening seen, runs                  %8s  %8s\n" \
  "$(count 4 "$work/mpv-figures")/$runs" "$(count 4 "$work/pelmora-figures")/$runs"
printf "  red opening on screen (ms of 600)       %8s  %8s\n" \
  "$(opening 7 "$work/mpv-figures")" "$(opening 7 "$work/pelmora-figures")"
again=$(count 5 "$work/pelmora-figures")
if [ "$again" -gt 0 ]; then echo "  the first episode again instead of the second: $again runs"; fi
missing=$(awk '$1 < 0' "$work/pelmora-figures" | wc -l)
if [ "$missing" -gt 0 ]; then echo "  no first picture seen in $missing runs of the program"; fi
no_next=$(awk '$3 == "none"' "$work/pelmora-figures" | wc -l)
if [ "$no_next" -gt 0 ]; then echo "  no end or no next picture seen in $no_next runs of the program"; fi
