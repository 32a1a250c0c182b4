#!/usr/bin/env bash
# Builds Pelmora optimised in build-package/ and makes its two Debian packages there:
# pelmora_3.0_ARCH.deb (the program) and pelmora-demo_3.0_ARCH.deb (the demo service, its clips,
# made here with ffmpeg, and the menu entry "Pelmora 演示"); then checks both with lintian.
# Install them with: sudo apt install ./build-package/pelmora_*.deb ./build-package/pelmora-demo_*.deb
# The maintainer named in the packages comes from DEBFULLNAME and DEBEMAIL when both are set.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build-package
"$top/scripts/install-deps.sh" media
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DPELMORA_SANITIZE=OFF -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_BENCH=OFF
cmake --build "$build"
"$top/scripts/make-demo-media.sh" "$build/demo-media"
(cd "$build" && cpack -G DEB)
for deb in "$build"/pelmora_*.deb "$build"/pelmora-demo_*.deb; do
  lintian --fail-on error "$deb"
  echo "$deb"
done
