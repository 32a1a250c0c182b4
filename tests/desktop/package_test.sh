#!/usr/bin/env bash
# The two Debian packages (pelmora and pelmora-demo), made from the build tree: lintian finds no
# error in either; unpacked into a temporary root, the program tells its version, starts headless
# with --home and, without --home, keeps its files in the user's data folder, writing nothing
# under its installed folders; and the demo's menu entry, run there on a virtual screen, starts
# the demo service and Pelmora against it, and an episode clicked in the catalogue plays.
# Usage: package_test.sh BUILD_FOLDER
set -euo pipefail
build=$1
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  # The engine terminal the program started from its player folder outlives it.
  for proc in /proc/[0-9]*; do
    read -r -d '' program <"$proc/cmdline" 2>/dev/null || continue
    [[ $program == "$work/"* ]] && kill "${proc#/proc/}" 2>/dev/null
  done
  [[ -n ${PELMORA_KEEP_PACKAGE_WORK:-} ]] || rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

for tool in lintian Xvfb xdotool import python3 curl; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh window-tests)"
done
# The demo's clips, made once per build tree (as the window tests make them).
if [[ ! -s $build/demo-media/p101-s1-e01.mp4 ]]; then
  bash "$(dirname "$0")/../../scripts/make-demo-media.sh" "$build/demo-media" >"$work/media.log" 2>&1 ||
    { cat "$work/media.log"; fail "the demo clips cannot be made"; }
fi

# gzip instead of xz: the same packages, made in a few seconds.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" \
  -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/package/pelmora_3.0_*.deb) || fail "no pelmora package: $(ls "$work/package")"
demo_deb=$(ls "$work"/package/pelmora-demo_3.0_*.deb) || fail "no pelmora-demo package"

# dpkg-shlibdeps names the linked libraries; what is loaded by name is named by hand.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6webenginewidgets6 libqt6dbus6 libmpv2 libcurl4 qt6-translations-l10n \
  qt6-qpa-plugins; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
[[ $(dpkg-deb -f "$demo_deb" Depends) == *"pelmora (= 3.0)"* ]] ||
  fail "pelmora-demo does not depend on this pelmora: $(dpkg-deb -f "$demo_deb" Depends)"

echo "packages made after ${SECONDS} s"
for package in "$deb" "$demo_deb"; do
  lintian --fail-on error --suppress-tags-from-file /dev/null "$package" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian reports errors on $(basename "$package")"; }
done

echo "lintian done after ${SECONDS} s"
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -x "$demo_deb" "$work/root"
root=$work/root
for file in usr/bin/pelmora usr/share/applications/pelmora.desktop \
  usr/share/icons/hicolor/16x16/apps/pelmora.png usr/share/icons/hicolor/256x256/apps/pelmora.png \
  usr/share/doc/pelmora/README.md usr/share/doc/pelmora/copyright \
  usr/share/doc/pelmora/changelog.gz usr/share/man/man1/pelmora.1.gz \
  usr/bin/pelmora-demo usr/lib/pelmora/pelmora-demo-service \
  usr/share/applications/pelmora-demo.desktop usr/lib/systemd/user/pelmora-demo.service \
  usr/share/man/man1/pelmora-demo.1.gz usr/share/doc/pelmora-demo/copyright; do
  [[ -f $root/$file ]] || fail "the packages lack /$file"
done
clips=$(find "$root/usr/share/pelmora-demo/media" -name '*.mp4' -o -name '*.webm' | wc -l)
[[ $clips -eq $(find "$build/demo-media" -name '*.mp4' -o -name '*.webm' | wc -l) ]] ||
  fail "pelmora-demo holds $clips clips"
# The engine's terminal, when this build made it, goes where the installed program looks for it.
if [[ -n $(find "$build" -name QvodTerminal.exe -type f -print -quit) ]]; then
  [[ -x $root/usr/lib/pelmora/QvodTerminal.exe ]] || fail "the package lacks the engine terminal"
  [[ ", $depends," == *", libtorrent-rasterbar2.0"* ]] || fail "Depends lacks libtorrent"
fi
desktop-file-validate "$root/usr/share/applications/pelmora-demo.desktop" ||
  fail "the demo's desktop entry does not validate"
desktop-file-validate "$root/usr/share/applications/pelmora.desktop" ||
  fail "the installed desktop entry does not validate"

version=$("$root/usr/bin/pelmora" --version)
[[ $version == "Pelmora 3.0" ]] || fail "--version said '$version'"

# Headless starts: no screen, no session bus, a service address on loopback where nothing listens.
mkdir -p "$work/user" "$work/run"
chmod 700 "$work/run"
export HOME=$work/user XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen
export DBUS_SESSION_BUS_ADDRESS=disabled: PELMORA_SERVICE_URL=http://127.0.0.1:9/
unset XDG_DATA_HOME DISPLAY
touch "$work/before"
sleep 1

# Waits until every named file exists (at most 60 s).
wait_for_files() {
  for _ in $(seq 600); do
    local all=1
    for file in "$@"; do [[ -e $file ]] || all=0; done
    ((all)) && return 0
    sleep 0.1
  done
  return 1
}
start() {
  "$root/usr/bin/pelmora" "$@" >>"$work/program.log" 2>&1 &
  pids+=($!)
}
stop_last() {
  kill "${pids[-1]}" 2>/dev/null || true
  wait "${pids[-1]}" 2>/dev/null || true
}

start --home "$work/home"
wait_for_files "$work/home/config.dll" "$work/home/date.dat" "$work/home/date_f.dat" \
  "$work/home/c.htm" "$work/home/f.htm" || { cat "$work/program.log"; fail "no first start in --home"; }
stop_last

start
data=$work/user/.local/share/pelmora
wait_for_files "$data/config.dll" "$data/c.htm" || {
  cat "$work/program.log"; fail "without --home the files are not in the data folder"; }
stop_last

written=$(find "$root" -newer "$work/before")
[[ -z $written ]] || fail "the program wrote into its installed folders: $written"

echo "headless starts done after ${SECONDS} s"
# ---- The demo's menu entry on a virtual screen ---------------------------------------------------
# As on a machine where Pelmora was just installed: no engine terminal of the starts above runs on
# (they keep their terminal, as the settings say, and a later start would find it).
for proc in /proc/[0-9]*; do
  read -r -d '' program <"$proc/cmdline" 2>/dev/null || continue
  [[ $program == "$work/"* ]] && kill "${proc#/proc/}" 2>/dev/null
done
# Its command as the menu runs it, with the unpacked programs first on the path.
command=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/pelmora-demo.desktop")
[[ $command == pelmora-demo ]] || fail "the demo entry runs '$command'"
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
# Xvfb writes its display's number and a line end once it listens.
for _ in $(seq 100); do [[ $(tail -c 1 "$work/display" 2>/dev/null) == "" && -s $work/display ]] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$work/display")"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getdisplaygeometry >/dev/null 2>&1 || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
seen() { curl -s --max-time 5 "http://127.0.0.1:$port/_demo/seen"; }
(
  export PATH="$root/usr/bin:$PATH" PELMORA_DEMO_PORT=$port
  export QT_QPA_PLATFORM=xcb QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
  export ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0
  unset PELMORA_SERVICE_URL
  exec $command
) >>"$work/demo.log" 2>&1 &
demo=$!
pids+=($demo)

# The main window, and in it the catalogue's first episode button (its colour, #37474F).
window=""
for _ in $(seq 600); do
  window=$(xdotool search --onlyvisible --name '^Pelmora' 2>/dev/null | head -n 1) && [[ -n $window ]] && break
  sleep 0.1
done
[[ -n $window ]] || { cat "$work/demo.log"; fail "the demo entry showed no window"; }
grab() { import -window root -depth 8 ppm:- 2>/dev/null; }
# Prints the screen position of the first pixel run of the colour given in hex, if any.
find_colour() {
  python3 -c '
import sys
data = sys.stdin.buffer.read()
parts = data.split(b"\n", 3)
width, height = map(int, parts[1].split())
pixels = parts[3]
want = bytes.fromhex(sys.argv[1])
def near(x, y):
    i = 3 * (y * width + x)
    return all(abs(a - b) <= 3 for a, b in zip(pixels[i:i + 3], want))
for y in range(0, height - 8, 2):
    for x in range(0, width - 8, 2):
        if near(x, y) and near(x + 6, y + 6):
            print(x + 8, y + 8)
            sys.exit(0)
sys.exit(1)' "$1"
}
button=""
for _ in $(seq 120); do
  button=$(grab | find_colour 37474f) && break
  sleep 0.5
done
[[ -n $button ]] || { cat "$work/demo.log"; fail "the demo's catalogue did not show"; }
[[ $(seen) == *'"resource_requests":[]'* ]] || fail "the service was asked for an episode early"
read -r bx by <<<"$button"
xdotool mousemove "$bx" "$by" click 1
for _ in $(seq 300); do
  [[ $(seen) == *'"resource_requests":[{'* ]] && break
  sleep 0.1
done
[[ $(seen) == *'"resource_requests":[{'* ]] || fail "the click asked the demo service nothing"
# The episode plays: its clip's running clock (at the foot of the picture, left of the side
# panel) changes from one second to the next.
eval "$(xdotool getwindowgeometry --shell "$window")"
picture_changes() {
  grab >"$work/a.ppm"
  sleep 1
  grab >"$work/b.ppm"
  python3 -c '
import sys
a, b = (open(f, "rb").read().split(b"\n", 3) for f in sys.argv[1:3])
width = int(a[1].split()[0])
x0, y0, w, h = map(int, sys.argv[3:7])
changed = sum(a[3][3 * (y * width + x):3 * (y * width + x) + 3] !=
              b[3][3 * (y * width + x):3 * (y * width + x) + 3]
              for y in range(y0, y0 + h, 2) for x in range(x0, x0 + w, 2))
sys.exit(0 if changed > 30 else 1)' "$work/a.ppm" "$work/b.ppm" "$((X + 20))" "$((Y + 100))" \
    "$((WIDTH / 2))" "$((HEIGHT - 180))"
}
playing=0
for _ in $(seq 30); do
  if picture_changes; then playing=1; break; fi
done
((playing)) || { grab >"$work/not-playing.ppm"; cat "$work/demo.log"; fail "the episode does not play"; }

# Pelmora ends; the service its menu entry started stops with it.
for proc in /proc/[0-9]*; do
  [[ $(readlink "$proc/exe" 2>/dev/null) == "$root/usr/bin/pelmora" ]] && kill "${proc#/proc/}"
done
for _ in $(seq 300); do kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done
! kill -0 "$demo" 2>/dev/null || fail "the demo entry did not end with Pelmora"
! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || fail "the demo service outlived Pelmora"
echo "package test passed"
