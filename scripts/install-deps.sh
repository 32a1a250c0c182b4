#!/usr/bin/env bash
# Installs the Debian packages that building and testing Pelmora need. Safe to run again: it
# asks apt only for what is missing, and runs apt-get update once, when something is.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcurl4-openssl-dev libcpp-httplib-dev libtorrent-rasterbar-dev
  qt6-base-dev qt6-webengine-dev libqt6opengl6-dev libmpv-dev libgl-dev qt6-translations-l10n
  libxcb1-dev
  dbus dpkg-dev desktop-file-utils lintian python3-dbusmock
  # Independent BitTorrent clients the engine terminal is tried against.
  aria2 transmission-cli qbittorrent-nox mktorrent
)
# Extra groups, asked for by name: "desktop" (Qt, WebEngine, mpv), "media" (demo clips),
# "window-tests" (Xvfb and friends), "browser" (headless Chromium for page checks), "fuzz"
# (clang with libFuzzer).
for group in "$@"; do
  case "$group" in
    desktop) ;;  # part of the base list now
    media) packages+=(ffmpeg fonts-noto-cjk) ;;
    browser) packages+=(chromium) ;;
    fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
    window-tests) packages+=(xvfb xauth xdotool imagemagick trayer mpv fonts-noto-cjk psmisc
                             libx11-dev libxtst-dev libxfixes-dev openbox weston qt6-wayland
                             at-spi2-core libatspi2.0-dev dbus-daemon) ;;
    *) echo "install-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
echo "install-deps: installing ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
  "${missing[@]}"
