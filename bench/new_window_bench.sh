#!/usr/bin/env bash
# A hostile page in the catalogue pane of the real program (under Xvfb) asks for 1000 new
# windows of each kind in turn: forms aimed at a new window, "_blank" links, named targets,
# window.open() and a fresh blank frame's own window.open(). After each flood the page settles
# (SETTLE seconds, default 20) and the proportional memory (PSS) of the main process and of all
# the program's processes (browser helpers included) is read. Prints the growth per kind against
# the target: under 10 MB once the page settles.
# Usage: bench/new_window_bench.sh [COUNT] [SETTLE]
# PELMORA_BENCH_BUILD names the build folder (default build-bench); PELMORA_BENCH_PREBUILT=1 uses
# the program already built there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PELMORA_BENCH_BUILD:-$top/build-bench}
count=${1:-1000}
settle=${2:-20}
port=${PELMORA_DEMO_PORT:-8771}

if [ -z "${PELMORA_BENCH_PREBUILT:-}" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_SANITIZE=OFF \
    -DPELMORA_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target pelmora >/dev/null
fi
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

display=:$((220 + RANDOM % 30))
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display

# The service: its home page is the hostile page. It asks /next for what to do; the bench
# answers one kind at a time through the file "kind", and the page reports each flood done.
python3 - "$port" "$work" "$count" <<'PY' &
import http.server, os, sys
port, work, count = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
page = """<!doctype html><html><head><meta charset='utf-8'><title>hostile</title></head><body>
<form id='form' target='_blank' action='/landing'><input name='q' value='1'></form>
<script>
const count = %d;
const floods = {
  form: () => { const f = document.getElementById('form');
                for (let i = 0; i < count; ++i) f.submit(); },
  link: () => { for (let i = 0; i < count; ++i) { const a = document.createElement('a');
                a.href = '/landing?' + i; a.target = '_blank'; document.body.appendChild(a);
                a.click(); a.remove(); } },
  named: () => { for (let i = 0; i < count; ++i) { const a = document.createElement('a');
                 a.href = '/landing?' + i; a.target = 'w' + i; document.body.appendChild(a);
                 a.click(); a.remove(); } },
  script: () => { for (let i = 0; i < count; ++i) window.open('/landing?' + i); },
  frame: () => { const f = document.createElement('iframe'); document.body.appendChild(f);
                 const w = f.contentWindow; for (let i = 0; i < count; ++i) w.open(''); },
};
async function poll() {
  const kind = await (await fetch('/next', {cache: 'no-store'})).text();
  if (floods[kind]) { floods[kind](); await fetch('/done?' + kind, {cache: 'no-store'}); }
  setTimeout(poll, 500);
}
poll();
</script></body></html>""" % count
class Service(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args): pass
    def send(self, body, kind="text/html; charset=utf-8"):
        body = body.encode()
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)
    def do_GET(self):
        path = self.path.split("?")[0]
        if path == "/next":
            kind_file = os.path.join(work, "kind")
            kind = open(kind_file).read().strip() if os.path.exists(kind_file) else ""
            if kind: os.remove(kind_file)
            return self.send(kind, "text/plain")
        if path == "/done":
            with open(os.path.join(work, "done"), "a") as f: f.write(self.path.split("?")[1] + "\n")
            return self.send("", "text/plain")
        if path == "/":
            return self.send(page)
        # Where the windows lead: back to the hostile page, for the next flood.
        return self.send("<!doctype html><title>landing</title>"
                         "<script>setTimeout(() => location.replace('/'), 1000)</script>")
class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, address): pass  # the pane left before the reply: no matter
Server(("127.0.0.1", port), Service).serve_forever()
PY
pids+=($!)
sleep 1
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox"; fi
mkdir -m 0700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export PELMORA_SERVICE_URL="http://127.0.0.1:$port/" PELMORA_SHUTDOWN_COMMAND="true"
# The announced windows open in the pane itself: the program cancels none, so a link or a
# script's window takes the pane to the landing page; the hostile page is loaded again after each.
"$build/src/pelmora" --home "$work/home" 2>"$work/pelmora.log" >/dev/null &
pid=$!
pids+=($pid)

# PSS in KiB of a process and all its descendants; of the process alone.
pss_tree() {
  local total=0 each kb
  for each in $(pstree -pT "$1" 2>/dev/null | grep -o '([0-9]\+)' | tr -d '()'); do
    kb=$(awk '/^Pss:/ {print $2}' "/proc/$each/smaps_rollup" 2>/dev/null || echo 0)
    total=$((total + ${kb:-0}))
  done
  echo "$total"
}
pss_one() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }
settled_after() {  # waits, then reads both figures
  sleep "$1"
  kill -0 "$pid" 2>/dev/null || { echo "the program ended early" >&2; exit 1; }
  echo "$(pss_one "$pid") $(pss_tree "$pid")"
}

sleep 20
read -r base_main base_all < <(settled_after "$settle")
last_main=$base_main
last_all=$base_all
printf "before: main %d MiB, all processes %d MiB\n" $((base_main / 1024)) $((base_all / 1024))
echo "kind     growth main (MB)  growth all (MB)  (each against the reading before it;"
echo "                                            target: under 10 MB for $count windows)"
: >"$work/done"
for kind in form link named script frame; do
  echo "$kind" >"$work/kind"
  deadline=$(( $(date +%s) + 300 ))
  until grep -qx "$kind" "$work/done"; do
    [ "$(date +%s)" -lt "$deadline" ] || { echo "the $kind flood did not run" >&2; exit 1; }
    sleep 1
  done
  read -r main all < <(settled_after "$settle")
  awk -v k="$kind" -v m="$main" -v mb="$last_main" -v a="$all" -v ab="$last_all" 'BEGIN {
    printf "%-7s  %16.1f  %15.1f\n", k, (m - mb) * 1.024 / 1000, (a - ab) * 1.024 / 1000 }'
  last_main=$main
  last_all=$all
done
awk -v m="$last_main" -v mb="$base_main" -v a="$last_all" -v ab="$base_all" 'BEGIN {
  printf "all floods: main %+.1f MB, all processes %+.1f MB\n", (m - mb) * 1.024 / 1000,
    (a - ab) * 1.024 / 1000 }'
