#!/usr/bin/env bash
# A long session: the desktop program plays EPISODES episodes (default 50) one after the other
# by automatic playing, under Xvfb, and the proportional memory (PSS) of all its processes
# (browser helpers included) is read after each one. The service is the demo service behind a
# small relay that answers the resource requests of programme 101 for any episode with a short
# clip of its own (CLIP seconds, default 4), so the chain never ends; every page comes from the
# demo service unchanged. Prints the PSS after episodes 5, 10, ... and the growth after the
# fifth, against the target of 5 %. PELMORA_BENCH_LOGS names a folder that keeps, at the same
# points, the PSS of each process and the main process's largest mappings.
# Usage: bench/soak_bench.sh [EPISODES] [CLIP]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PELMORA_BENCH_BUILD:-$top/build-bench}
episodes=${1:-50}
clip_seconds=${2:-4}
port=${PELMORA_DEMO_PORT:-8763}
relay_port=$((port + 1))

# PELMORA_BENCH_PREBUILT=1 uses the programs already built in PELMORA_BENCH_BUILD as they are.
. "$top/bench/desktop_setup.sh"
bench_prepare

ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i "color=c=#37474f:s=320x180:r=15:d=$clip_seconds" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$clip_seconds" \
  -c:v libx264 -preset veryfast -crf 32 -pix_fmt yuv420p -c:a aac -b:a 48k \
  -movflags +faststart -ac 1 -shortest "$work/clip.mp4"

display=:$((180 + RANDOM % 40))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
"$build/service/pelmora-demo-service" --port "$port" --data "$media" >/dev/null 2>&1 &
pids+=($!)

# The relay: h.asp of programme 101 answers every episode with the short clip (under an address
# of its own per episode, so each is a new item for the player); the clip is served with ranges;
# everything else is fetched from the demo service. Each first request of an episode's clip is
# written to the file "played", one line per episode.
python3 - "$relay_port" "$port" "$work" <<'PY' &
import http.server, os, re, sys, threading, urllib.request
relay, demo, work = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
clip = open(os.path.join(work, "clip.mp4"), "rb").read()
seen, lock = set(), threading.Lock()
class Relay(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args): pass
    def send(self, status, body, kind, extra=()):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        for name, value in extra: self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)
    def do_GET(self):
        m = re.match(r"/h\.asp\?id=101&v=1&v1=(\d+)$", self.path)
        if m:
            n = m.group(1)
            return self.send(200, f"E{n}$http://127.0.0.1:{relay}/soak/{n}.mp4$qvod".encode(), "text/plain")
        m = re.match(r"/soak/(\d+)\.mp4$", self.path)
        if m:
            with lock:
                if m.group(1) not in seen:
                    seen.add(m.group(1))
                    with open(os.path.join(work, "played"), "a") as f: f.write(m.group(1) + "\n")
            r = re.match(r"bytes=(\d+)-(\d*)", self.headers.get("Range", ""))
            if r:
                start = int(r.group(1)); end = int(r.group(2) or len(clip) - 1)
                part = clip[start:end + 1]
                return self.send(206, part, "video/mp4", [("Accept-Ranges", "bytes"),
                    ("Content-Range", f"bytes {start}-{start + len(part) - 1}/{len(clip)}")])
            return self.send(200, clip, "video/mp4", [("Accept-Ranges", "bytes")])
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{demo}{self.path}", timeout=15) as reply:
                self.send(reply.status, reply.read(), reply.headers.get("Content-Type", "text/html"))
        except urllib.error.HTTPError as error:
            self.send(error.code, error.read(), error.headers.get("Content-Type", "text/html"))
        except Exception:
            self.send(502, b"", "text/plain")
http.server.ThreadingHTTPServer(("127.0.0.1", relay), Relay).serve_forever()
PY
pids+=($!)
sleep 1
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox"; fi
# A runtime folder of its own: a Pelmora the user (or another benchmark) runs meanwhile is
# neither handed this run's start nor mistaken for it.
mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export PELMORA_SERVICE_URL="http://127.0.0.1:$relay_port/" PELMORA_SHUTDOWN_COMMAND="true"
export PELMORA_TIMING=play  # clicks the catalogue's first episode once every page has loaded

# PSS in KiB of a process and all its descendants.
pss_tree() {
  local total=0 pid kb
  for pid in $(pstree -pT "$1" 2>/dev/null | grep -o '([0-9]\+)' | tr -d '()'); do
    kb=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0)
    total=$((total + ${kb:-0}))
  done
  echo "$total"
}
# Each process of the tree (PSS KiB, pid, name) and the main process's largest mappings by PSS,
# for finding where growth goes.
pss_each() {
  local pid
  for pid in $(pstree -pT "$1" 2>/dev/null | grep -o '([0-9]\+)' | tr -d '()'); do
    printf "%8s %7s %s\n" "$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null)" \
      "$pid" "$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | cut -c1-80)"
  done
  awk '/^[0-9a-f]+-[0-9a-f]+ / {name = $6 == "" ? "[anon]" : $6} /^Pss:/ {pss[name] += $2}
       END {for (n in pss) printf "%8d %s\n", pss[n], n}' "/proc/$1/smaps" | sort -rn | sed -n 1,15p
}
pss_one() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }

# PELMORA_BENCH_WRAP runs the program under a tool (e.g. "heaptrack -o FILE"); the main process's
# figures are then the tool's process.
${PELMORA_BENCH_WRAP:-} "$build/src/pelmora" --home "$work/home" 2>"$work/pelmora.log" >/dev/null &
pid=$!
pids+=($pid)
: >"$work/played"
echo "episode  PSS all (MiB)  PSS main (MiB)  anonymous main (MiB)"
base_all=0
base_main=0
base_anon=0
last=0
deadline=$(( $(date +%s) + episodes * (clip_seconds + 30) + 120 ))
while [ "$last" -lt "$episodes" ] && [ "$(date +%s)" -lt "$deadline" ]; do
  sleep 1
  kill -0 "$pid" 2>/dev/null || { echo "the program ended early" >&2; exit 1; }
  count=$(wc -l <"$work/played")
  [ "$count" -le "$last" ] && continue
  last=$count
  # Read in the middle of the episode, when the previous one is over and this one plays.
  sleep $((clip_seconds / 2))
  all=$(pss_tree "$pid")
  main=$(pss_one "$pid")
  anon=$(awk '/^Anonymous:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0)
  if [ "$last" -eq 5 ]; then base_all=$all; base_main=$main; base_anon=$anon; fi
  if [ $((last % 5)) -eq 0 ] || [ "$last" -eq 1 ]; then
    printf "%7d  %13d  %14d  %20d\n" "$last" $((all / 1024)) $((main / 1024)) $((anon / 1024))
    [ -n "${PELMORA_BENCH_LOGS:-}" ] && pss_each "$pid" >"$PELMORA_BENCH_LOGS/soak-$last.txt"
  fi
done
if [ "$last" -lt "$episodes" ]; then
  echo "only $last of $episodes episodes played" >&2
  exit 1
fi
awk -v a="$all" -v b="$base_all" -v m="$main" -v mb="$base_main" -v n="$anon" -v nb="$base_anon" 'BEGIN {
  printf "growth after the fifth episode: all processes %+.1f %%, main process %+.1f %% (target: under 5 %%)\n",
    (a - b) * 100 / b, (m - mb) * 100 / mb
  printf "anonymous memory of the main process: %+.1f %% (PSS counts shared library pages, which a\n", (n - nb) * 100 / nb
  printf "machine short of memory takes back and gives again; anonymous memory is the program'"'"'s own)\n" }'
