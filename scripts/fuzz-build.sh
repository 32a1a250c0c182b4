#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, with clang) in BUILD; scripts/fuzz.sh and
# scripts/fuzz-long.sh run them. Usage: scripts/fuzz-build.sh BUILD
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$1

"$top/scripts/install-deps.sh" fuzz
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$top/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 "${launcher[@]}" \
  >/dev/null
cmake --build "$build"
