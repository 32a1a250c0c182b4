#!/usr/bin/env bash
# Builds Pelmora and the demo service, makes the demo clips once, starts the demo service on
# 127.0.0.1 and runs Pelmora against it with its program folder under the build tree. When
# Pelmora ends, the service stops.
# Usage: scripts/run.sh [pelmora arguments...]
# Environment: PELMORA_DEMO_PORT (default 8750), PELMORA_BUILD (default build-run).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PELMORA_BUILD:-$top/build-run}
port=${PELMORA_DEMO_PORT:-8750}

"$top/scripts/install-deps.sh" media
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_SANITIZE=OFF \
  -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target pelmora pelmora-demo-service

media="$build/demo-media"
"$top/scripts/make-demo-media.sh" "$media"

"$build/service/pelmora-demo-service" --port "$port" --data "$media" &
service=$!
trap 'kill "$service" 2>/dev/null || true; wait "$service" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  if ! kill -0 "$service" 2>/dev/null; then
    echo "run: the demo service did not start (is port $port in use? set PELMORA_DEMO_PORT)" >&2
    exit 1
  fi
  sleep 0.1
done

# A demo never shuts the computer down: the shutdown after playback only says so.
export PELMORA_SERVICE_URL="http://127.0.0.1:$port/"
export PELMORA_SHUTDOWN_COMMAND=${PELMORA_SHUTDOWN_COMMAND:-"echo Pelmora: the computer would shut down now"}
"$build/src/pelmora" --home "$build/pelmora-home" "$@"
