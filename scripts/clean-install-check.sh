#!/usr/bin/env bash
# Installs the two packages that scripts/package.sh made into a clean Debian 12 root (debootstrap,
# as root; apt brings what they depend on from Debian), runs the demo's menu entry there as an
# ordinary user on a virtual screen of this machine, clicks the catalogue's first episode and
# checks that the demo service was asked for it and that the picture moves.
# Usage: scripts/clean-install-check.sh [BUILD]   (default build-package; the base system is kept
# in BUILD/clean-base and copied afresh for every run)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-package}
base=$build/clean-base
root=$build/clean-root
port=48750
fail() { echo "clean-install-check: $*" >&2; exit 1; }
for tool in debootstrap Xvfb xdotool import compare curl; do
  command -v "$tool" >/dev/null || fail "$tool is missing"
done
debs=("$build"/pelmora_3.0_*.deb "$build"/pelmora-demo_3.0_*.deb)
[[ -f ${debs[0]} && -f ${debs[1]} ]] || fail "no packages in $build (scripts/package.sh)"

if [[ ! -x $base/bin/bash ]]; then
  rm -rf "$base"
  debootstrap --variant=minbase bookworm "$base" http://deb.debian.org/debian >"$build/debootstrap.log"
fi
rm -rf "$root"
cp -a "$base" "$root"
cp "${debs[@]}" "$root/tmp/"
cp /etc/resolv.conf "$root/etc/resolv.conf"

mounts=()
xvfb=""
cleanup() {
  for proc in /proc/[0-9]*; do
    [[ $(readlink "$proc/exe" 2>/dev/null) == "$root/"* ]] && kill "${proc#/proc/}" 2>/dev/null
  done
  sleep 1
  [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "${mounts[i]}" || true; done
}
trap cleanup EXIT
mount_in() { mount "$@"; mounts+=("${*: -1}"); }
mount_in -t proc proc "$root/proc"
mount_in --bind /dev "$root/dev"
mount_in --bind /dev/pts "$root/dev/pts"
mount_in -t tmpfs tmpfs "$root/dev/shm"

chroot "$root" bash -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
  $(printf '/tmp/%s ' "${debs[@]##*/}")" >"$build/clean-install.log" 2>&1 ||
  { tail -n 30 "$build/clean-install.log"; fail "apt could not install the packages"; }
chroot "$root" useradd -m -u 4321 viewer
install -d -m 700 -o 4321 -g 4321 "$root/run/user/4321"

exec 5>"$build/clean-display"
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [[ -s $build/clean-display ]] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$build/clean-display")"
mkdir -p "$root/tmp/.X11-unix"
mount_in --bind /tmp/.X11-unix "$root/tmp/.X11-unix"

# The menu entry's command, as the desktop runs it for the user.
command=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/pelmora-demo.desktop")
chroot --userspec=4321:4321 "$root" env -i HOME=/home/viewer USER=viewer PATH=/usr/bin:/bin \
  DISPLAY="$DISPLAY" XDG_RUNTIME_DIR=/run/user/4321 LANG=C.UTF-8 PELMORA_DEMO_PORT=$port \
  QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu" DBUS_SESSION_BUS_ADDRESS=disabled: \
  $command >"$build/clean-demo.log" 2>&1 &

seen() { curl -s --max-time 5 "http://127.0.0.1:$port/_demo/seen"; }
for _ in $(seq 120); do
  [[ $(import -window root -depth 8 -crop 1x1+30+376 txt:- 2>/dev/null) == *"#37474F"* ]] && break
  sleep 1
done
[[ $(seen) == *'"resource_requests":[]'* ]] || fail "the demo service does not answer"
# The first episode button of the catalogue (山海之间 第1集), where the window opens.
xdotool mousemove 50 384 click 1
for _ in $(seq 60); do [[ $(seen) == *'"resource_requests":[{'* ]] && break; sleep 1; done
[[ $(seen) == *'"resource_requests":[{'* ]] || fail "the click asked the service nothing"
moved=0
for _ in $(seq 30); do
  import -window root -crop 680x400+10+110 "$build/clean-a.png"
  sleep 1
  import -window root -crop 680x400+10+110 "$build/clean-b.png"
  changed=$(compare -metric AE "$build/clean-a.png" "$build/clean-b.png" null: 2>&1 || true)
  if ((${changed%%.*} > 30)); then moved=1; break; fi
done
((moved)) || fail "the episode does not play"
echo "clean-install-check: installed in a clean root, the demo entry plays an episode"
