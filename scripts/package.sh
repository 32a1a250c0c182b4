#!/usr/bin/env bash
# Builds Pelmora optimised in build-package/ and makes its Debian package there
# (build-package/pelmora_3.0_amd64.deb). Install it with: sudo apt install ./build-package/pelmora_*.deb
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build-package
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_TESTS=OFF \
  -DPELMORA_BUILD_BENCH=OFF
cmake --build "$build"
(cd "$build" && cpack -G DEB)
ls "$build"/pelmora_*.deb
