#!/usr/bin/env bash
# Builds Pelmora with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
# Usage: scripts/test.sh [build folder]   (default: build-test beside the sources)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-test}

"$top/scripts/install-deps.sh" browser media window-tests
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELMORA_SANITIZE=ON \
  -DPELMORA_BUILD_BENCH=ON
cmake --build "$build"
# Leak detection is on by default; the programs that host the browser engine turn it off for
# themselves (its caches live until exit), which an explicit detect_leaks=1 here would override.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -LE window
# The fuzz targets, three seconds each on their seed corpora, in a clang build of their own.
"$top/scripts/fuzz.sh" 3 "$build-fuzz"
# The tests in a real window: the real program driven through the X server, one at a time.
ctest --test-dir "$build" --output-on-failure -L window
