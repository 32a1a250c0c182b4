# Sourced by the benchmarks that run the desktop program (never run on its own): builds the
# program and the demo service optimised, makes the demo clips, and gives a work folder whose
# background processes (listed in `pids`) end and whose files go when the script exits.
# Expects `top` and `build`; PELMORA_BENCH_PREBUILT=1 uses the programs already built in `build`
# as they are. Sets `media` and `work`.

bench_prepare() {  # extra build targets
  if [ -z "${PELMORA_BENCH_PREBUILT:-}" ]; then
    "$top/scripts/install-deps.sh" media window-tests
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_SANITIZE=OFF \
      -DPELMORA_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" --target pelmora pelmora-demo-service "$@" >/dev/null
  fi
  media="$build/demo-media"
  "$top/scripts/make-demo-media.sh" "$media" >/dev/null

  work=$(mktemp -d)
  pids=()
  trap bench_cleanup EXIT
}

bench_cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
