#!/usr/bin/env bash
# Builds Pelmora, the engine's terminal and the demo service, makes the demo clips once, starts
# the demo service on 127.0.0.1 and a second engine terminal that seeds the demo clips as a peer,
# and runs Pelmora against them with its program folder under the build tree. When Pelmora ends,
# the service and the seeding peer stop.
# Usage: scripts/run.sh [pelmora arguments...]
# Environment: PELMORA_DEMO_PORT (default 8750), PELMORA_BUILD (default build-run).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PELMORA_BUILD:-$top/build-run}
port=${PELMORA_DEMO_PORT:-8750}

"$top/scripts/install-deps.sh" media
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_SANITIZE=OFF \
  -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target pelmora QvodTerminal.exe pelmora-demo-service

media="$build/demo-media"
"$top/scripts/make-demo-media.sh" "$media"

"$build/service/pelmora-demo-service" --port "$port" --data "$media" &
service=$!
seeder=""
stop_demo() {
  for pid in $seeder $service; do kill "$pid" 2>/dev/null || true; done
  for pid in $seeder $service; do wait "$pid" 2>/dev/null || true; done
}
trap stop_demo EXIT
for _ in $(seq 1 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  if ! kill -0 "$service" 2>/dev/null; then
    echo "run: the demo service did not start (is port $port in use? set PELMORA_DEMO_PORT)" >&2
    exit 1
  fi
  sleep 0.1
done

# The peer that seeds the demo clips: the same terminal program, under a name of its own (so that
# Pelmora's housekeeping never takes it for the user's terminal nor ends it) and with a runtime
# folder of its own (so that it is not the user's one terminal), announcing itself to the demo
# service's tracker. Pelmora's own terminal then fetches the clips from it and from the web seed.
seed_home="$build/demo-seeder"
mkdir -p "$seed_home/run" "$seed_home/downloads"
chmod 700 "$seed_home/run"
ln -f "$build/src/QvodTerminal.exe" "$seed_home/pelmora-demo-seeder" 2>/dev/null ||
  cp -f "$build/src/QvodTerminal.exe" "$seed_home/pelmora-demo-seeder"
printf '<QvodPlayer>\r\n<Download Defaultsavepath="%s/downloads/"/>\r\n</QvodPlayer>\r\n' \
  "$seed_home" >"$seed_home/QvodPlayer.xml"
XDG_RUNTIME_DIR="$seed_home/run" "$seed_home/pelmora-demo-seeder" --player-folder "$seed_home" \
  --service "http://127.0.0.1:$port/" --seed "$media" >"$seed_home/seeder.log" 2>&1 &
seeder=$!

# A demo never shuts the computer down: the shutdown after playback only says so.
export PELMORA_SERVICE_URL="http://127.0.0.1:$port/"
export PELMORA_SHUTDOWN_COMMAND=${PELMORA_SHUTDOWN_COMMAND:-"echo Pelmora: the computer would shut down now"}
"$build/src/pelmora" --home "$build/pelmora-home" "$@"
