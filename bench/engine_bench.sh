#!/usr/bin/env bash
# Measures the engine terminal against the demo service on loopback:
#  1. the first frame of a faststart MP4 (>= 100 MB, made here with ffmpeg) from a cold start of
#     its download: time and bytes received by then (median of RUNS);
#  2. throughput of a whole file (the clip and a 1 GiB file) from the web seed against curl
#     fetching the same file from the service in the same rounds, saving it and throwing it away;
#  3. peer throughput against aria2c in one run: the terminal fetching from an aria2c seed against
#     aria2c fetching from the same seed, and aria2c fetching from a seeding terminal against
#     aria2c fetching from an aria2c seed;
#  4. the terminal's memory (PSS) while a 1 GB file streams through it.
# Usage: bench/engine_bench.sh [BUILD] [RUNS]   (BUILD default build-bench, built optimised here)
#   PARTS="web peers" bench/engine_bench.sh ...   runs only those of: first web peers memory
# Nothing leaves 127.0.0.1; the files live in a temporary folder removed at the end.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-bench}
runs=${2:-5}
parts=" ${PARTS:-first web peers memory} "
wants() { [[ $parts == *" $1 "* ]]; }
# The machine's load averages (1, 5, 15 min), printed with the figures: on a shared machine they
# say how far the figures can be trusted.
load() { cut -d' ' -f1-3 /proc/loadavg; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_SANITIZE=OFF \
    -DPELMORA_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target QvodTerminal.exe pelmora-demo-service engine_first_frame >/dev/null
# Another build of the terminal may be measured in its place.
terminal=${PELMORA_TERMINAL_UNDER_TEST:-$build/src/QvodTerminal.exe}
service_program=$build/service/pelmora-demo-service
first_frame=$build/bench/engine_first_frame

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
now_ms() { date +%s%3N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# The clip: 20 s of 720p at about 10 Mbit/s, repeated to 100 s without re-encoding, with its
# index at the front.
media=$work/media
mkdir -p "$media"
echo "making the clips..." >&2
ffmpeg -loglevel error -f lavfi -i "testsrc2=size=1280x720:rate=25" -f lavfi \
  -i "sine=frequency=440:sample_rate=48000" -t 20 -c:v libx264 -preset ultrafast \
  -b:v 10M -maxrate 10M -bufsize 20M -g 50 -c:a aac -b:a 128k "$work/base.mp4"
ffmpeg -loglevel error -stream_loop 4 -i "$work/base.mp4" -c copy -movflags +faststart \
  "$media/clip.mp4"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$media/big.bin"
clip_size=$(stat -c %s "$media/clip.mp4")
big_size=$(stat -c %s "$media/big.bin")

torrent_hash() {  # the info-hash the shared maker gives the file (the service answers it too)
  python3 - "$1" <<'EOF'
import hashlib, os, sys
path = sys.argv[1]
name = os.path.basename(path).encode()
pieces = b""
with open(path, "rb") as f:
    while True:
        block = f.read(262144)
        if not block:
            break
        pieces += hashlib.sha1(block).digest()
size = os.path.getsize(path)
info = b"d6:lengthi%de4:name%d:%s12:piece lengthi262144e6:pieces%d:%se" % (
    size, len(name), name, len(pieces), pieces)
print(hashlib.sha1(info).hexdigest())
EOF
}
clip_hash=$(torrent_hash "$media/clip.mp4")
big_hash=$(torrent_hash "$media/big.bin")

port=$(free_port)
service_url=http://127.0.0.1:$port/
"$service_program" --port "$port" --data "$media" >/dev/null 2>&1 &
pids+=($!)
# The service makes the torrents after it starts; wait until it answers for the big file.
for _ in $(seq 1 600); do
  curl -sf -o /dev/null "${service_url}torrents/$big_hash.torrent" && break
  sleep 0.1
done

# Starts a terminal with a fresh player and runtime folder; sets $base and $term_pid.
start_terminal() {
  local home=$work/t$1
  shift
  rm -rf "$home"
  mkdir -p "$home/player" "$home/run"
  echo "<Setting Defaultsavepath=\"$home/downloads\" />" >"$home/player/QvodPlayer.xml"
  XDG_RUNTIME_DIR=$home/run "$terminal" --player-folder "$home/player" --service "$service_url" \
    "$@" 2>/dev/null &
  term_pid=$!
  pids+=("$term_pid")
  base=""
  for _ in $(seq 1 200); do
    [ -s "$home/run/pelmora-engine.endpoint" ] && base=$(cat "$home/run/pelmora-engine.endpoint") && break
    sleep 0.05
  done
}
stop_terminal() { kill "$term_pid" 2>/dev/null || true; wait "$term_pid" 2>/dev/null || true; }
pct() { python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$1"; }
# Opens ADDRESS (role next) on the terminal at $base and prints the milliseconds until the item
# is finished. It asks for the status over one kept connection every 10 ms: starting a curl
# process for each question, or asking every few milliseconds, would take a good part of a core
# from the terminal it measures (on two cores, asking every 3 ms made a 1 GiB download a third
# slower).
download_ms() {
  python3 - "$base" "$1" <<'EOF'
import http.client, sys, time, urllib.parse
base, address = urllib.parse.urlparse(sys.argv[1]), sys.argv[2]
item = address.split("|")[1]
connection = http.client.HTTPConnection(base.hostname, base.port)
def get(query):
    connection.request("GET", base.path + query)
    return connection.getresponse().read().decode()
start = time.monotonic()
get("open?address=" + urllib.parse.quote(address, safe="") + "&role=next")
while "state=finished" not in get("status?hash=" + item):
    if time.monotonic() - start > 120:
        sys.exit("not finished after 120 s")
    time.sleep(0.01)
print(round((time.monotonic() - start) * 1000))
EOF
}

clip_address="qvod://$clip_size|$clip_hash|clip.mp4|"
big_address="qvod://$big_size|$big_hash|big.bin|"
piece=262144

echo "load at the start: $(load)"
if wants first; then
echo "== first frame of a ${clip_size}-byte faststart MP4, cold start, web seed ($runs runs)"
times=()
bytes=()
for run in $(seq 1 "$runs"); do
  start_terminal "ff$run" --no-peers
  line=$("$first_frame" "$base" "$clip_address")
  stop_terminal
  times+=("$(sed 's/.*first_frame_ms=\([0-9]*\).*/\1/' <<<"$line")")
  bytes+=("$(sed 's/.*downloaded=\([0-9]*\).*/\1/' <<<"$line")")
  echo "  run $run: $line"
done
echo "  median: $(printf '%s\n' "${times[@]}" | median) ms," \
  "$(printf '%s\n' "${bytes[@]}" | median) bytes (bound: $((2 * 1024 * 1024 + piece)))"
fi

mbps() { awk -v b="$1" -v ms="$2" 'BEGIN {printf "%.0f MB/s", b / 1e6 / (ms / 1000)}'; }
share() { awk -v c="$1" -v w="$2" 'BEGIN {printf "%.0f", 100 * c / w}'; }

# Throughput of NAME (SIZE bytes, ADDRESS) from the web seed: each round times curl throwing the
# bytes away, curl saving the file (the same job as the terminal's, which also verifies every
# piece) and a fresh terminal, in turn.
web_seed_throughput() {
  local name=$1 size=$2 address=$3 rounds=$4
  local curl_list=() curl_file_list=() web_list=()
  echo "== $name ($size bytes) from the web seed over loopback ($rounds rounds)"
  # Each timed transfer starts with nothing of an earlier one still being written to the disk
  # (sync), so that one does not pay for the other's writing.
  for run in $(seq 1 "$rounds"); do
    sync
    t0=$(now_ms)
    curl -s -o /dev/null "${service_url}qvod/$name"
    curl_list+=($(($(now_ms) - t0)))
    sync
    t0=$(now_ms)
    curl -s -o "$work/curl-copy" "${service_url}qvod/$name"
    curl_file_list+=($(($(now_ms) - t0)))
    rm -f "$work/curl-copy"
    start_terminal "web-$name-$run" --no-peers
    sync
    sleep 0.2
    web_list+=("$(download_ms "$address")")
    stop_terminal
    rm -rf "$work/tweb-$name-$run"
    echo "  round $run: curl ${curl_list[-1]} ms, curl saving ${curl_file_list[-1]} ms," \
      "terminal ${web_list[-1]} ms (load $(load))"
  done
  local curl_ms curl_file_ms web_ms
  curl_ms=$(printf '%s\n' "${curl_list[@]}" | median)
  curl_file_ms=$(printf '%s\n' "${curl_file_list[@]}" | median)
  web_ms=$(printf '%s\n' "${web_list[@]}" | median)
  echo "  medians: curl saving $curl_file_ms ms ($(mbps "$size" "$curl_file_ms")), curl throwing" \
    "away $curl_ms ms ($(mbps "$size" "$curl_ms")), terminal $web_ms ms ($(mbps "$size" "$web_ms"))"
  echo "  web seed: $(share "$curl_file_ms" "$web_ms") % of curl saving the file," \
    "$(share "$curl_ms" "$web_ms") % of curl throwing it away"
}
if wants web; then
  web_seed_throughput clip.mp4 "$clip_size" "$clip_address" "$runs"
  web_seed_throughput big.bin "$big_size" "$big_address" "$runs"
fi

if wants peers; then
echo "== peer throughput of the clip against aria2c ($runs rounds)"
# A torrent of the clip that names the service's tracker, for aria2c.
python3 - "$media/clip.mp4" "${service_url}announce" "$work/clip.torrent" <<'EOF'
import hashlib, os, sys
path, announce, out = sys.argv[1], sys.argv[2].encode(), sys.argv[3]
name = os.path.basename(path).encode()
pieces = b""
with open(path, "rb") as f:
    while block := f.read(262144):
        pieces += hashlib.sha1(block).digest()
info = b"d6:lengthi%de4:name%d:%s12:piece lengthi262144e6:pieces%d:%se" % (
    os.path.getsize(path), len(name), name, len(pieces), pieces)
open(out, "wb").write(b"d8:announce%d:%s4:info%se" % (len(announce), announce, info))
EOF
aria2_common=(--enable-dht=false --enable-dht6=false --bt-enable-lpd=false --no-conf=true
  --console-log-level=error --summary-interval=0 --file-allocation=none --bt-tracker-interval=1)
start_aria2_seed() {
  aria2c "${aria2_common[@]}" --dir="$media" --listen-port="$(free_port)" --check-integrity=true \
    --seed-ratio=0.0 "$work/clip.torrent" >/dev/null 2>&1 &
  aria2_seed=$!
  pids+=("$aria2_seed")
  sleep 1.5  # its check of the file and its first announce
}
stop_aria2_seed() { kill "$aria2_seed" 2>/dev/null || true; wait "$aria2_seed" 2>/dev/null || true; }
# aria2c fetching the clip from whoever seeds it; milliseconds from its start to its end.
aria2_fetch_ms() {
  rm -rf "$work/aria2-got"
  local t0
  t0=$(now_ms)
  aria2c "${aria2_common[@]}" --dir="$work/aria2-got" --listen-port="$(free_port)" \
    --seed-time=0 "$work/clip.torrent" >/dev/null 2>&1
  echo $(($(now_ms) - t0))
  cmp -s "$work/aria2-got/clip.mp4" "$media/clip.mp4" || echo "aria2c got other bytes" >&2
}
term_from_aria2=() aria2_from_aria2=() aria2_from_term=()
for run in $(seq 1 "$runs"); do
  start_aria2_seed
  start_terminal "peer$run" --no-web-seed
  term_from_aria2+=("$(download_ms "$clip_address")")
  stop_terminal
  aria2_from_aria2+=("$(aria2_fetch_ms)")
  stop_aria2_seed
  start_terminal "seed$run" --seed "$media" --no-web-seed
  seeder_pid=$term_pid
  sleep 1
  aria2_from_term+=("$(aria2_fetch_ms)")
  kill "$seeder_pid"
  wait "$seeder_pid" 2>/dev/null || true
  echo "  round $run: terminal from aria2c ${term_from_aria2[-1]} ms, aria2c from aria2c" \
    "${aria2_from_aria2[-1]} ms, aria2c from the terminal ${aria2_from_term[-1]} ms (load $(load))"
done
t_a=$(printf '%s\n' "${term_from_aria2[@]}" | median)
a_a=$(printf '%s\n' "${aria2_from_aria2[@]}" | median)
a_t=$(printf '%s\n' "${aria2_from_term[@]}" | median)
echo "  medians: terminal from an aria2c seed $t_a ms ($(mbps "$clip_size" "$t_a")), aria2c from" \
  "the same seed $a_a ms ($(mbps "$clip_size" "$a_a")): the terminal at $(share "$a_a" "$t_a") %"
echo "  aria2c from a seeding terminal $a_t ms ($(mbps "$clip_size" "$a_t")), from an aria2c seed" \
  "$a_a ms: the terminal as a seed at $(share "$a_a" "$a_t") % of aria2c's"

fi

if wants memory; then
echo "== terminal memory (PSS) while a 1 GiB file streams through it, then while a peer fetches it"
# The terminal announces itself to the service's tracker, so that the peer below finds it; no
# other terminal has the file while it streams.
start_terminal pss
streamer_pid=$term_pid
stream=$(curl -s "${base}open?address=$(pct "$big_address")&role=play" | head -n 1)
pss() { awk '/^Pss:/ {print $2}' "/proc/$streamer_pid/smaps_rollup"; }
echo "  before: $(pss) kB"
curl -s -o "$work/streamed.bin" "$stream" &
reader=$!
# Sampled every 0.1 s; the first sample at or past each quarter of the file is printed, with the
# highest seen.
next_mark=25
peak=0
while kill -0 "$reader" 2>/dev/null; do
  got=$(stat -c %s "$work/streamed.bin" 2>/dev/null || echo 0)
  now=$(pss)
  [ "$now" -gt "$peak" ] && peak=$now
  if [ $((got * 100 / big_size)) -ge "$next_mark" ] && [ "$next_mark" -lt 100 ]; then
    echo "  at $((got * 100 / big_size)) %: $now kB"
    next_mark=$((next_mark + 25))
  fi
  sleep 0.1
done
wait "$reader"
echo "  at 100 %: $(pss) kB (highest while streaming: $peak kB)"
cmp -s "$work/streamed.bin" "$media/big.bin" && echo "  streamed bytes match the file"
# A peer without the web seed now fetches the whole file from it.
start_terminal fetcher --no-web-seed
download_ms "$big_address" >"$work/fetch-ms" &
fetcher=$!
peak=0
while kill -0 "$fetcher" 2>/dev/null; do
  now=$(pss)
  [ "$now" -gt "$peak" ] && peak=$now
  sleep 0.1
done
wait "$fetcher"
echo "  while a peer fetched the 1 GiB from it (in $(cat "$work/fetch-ms") ms): highest $peak kB," \
  "after $(pss) kB"
stop_terminal
kill "$streamer_pid"
fi
echo "load at the end: $(load)"
