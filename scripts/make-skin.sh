#!/usr/bin/env bash
# Draws the default skin: builds the skin generator (Qt 6, QPainter) in a temporary folder and
# writes src/resources/skin/101.png ... 121.png, their cells for screens of twice the density
# (101@2x.png ...), the program's icon in the desktop's sizes (src/resources/icons/pelmora-N.png)
# and docs/skin-contact-sheet.png.
# Needs: apt-get install -y --no-install-recommends qt6-base-dev fonts-noto-cjk
# Usage: scripts/make-skin.sh [--preview MOCK.png]   (also composes a mock window from the bitmaps)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
cmake -S "$top/scripts/skin-generator" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" >/dev/null
mkdir -p "$top/src/resources/skin" "$top/src/resources/icons" "$top/docs"
export QT_QPA_PLATFORM=offscreen
"$build/skin-generator" "$top/src/resources/skin" "$top/docs/skin-contact-sheet.png" \
  "$top/src/resources/icons"
if [[ ${1:-} == --preview && -n ${2:-} ]]; then
  "$build/skin-generator" --preview "$top/src/resources/skin" "$2"
fi
