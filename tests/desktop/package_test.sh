#!/usr/bin/env bash
# The Debian package: made from the build tree, unpacked into a temporary root, and the unpacked
# program started from there: it tells its version, starts headless with --home, and, without
# --home, keeps its files in the user's data folder, writing nothing under its installed folders.
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
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# gzip instead of xz: the same package, made in a few seconds.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" \
  -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/package/*.deb)
[[ $(basename "$deb") == pelmora_3.0_*.deb ]] || fail "unexpected package name $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6webenginewidgets6 libqt6dbus6 libmpv2 libcurl4 qt6-translations-l10n \
  qt6-qpa-plugins; do
  [[ ", $depends," == *", $package,"* ]] || fail "Depends lacks $package: $depends"
done

dpkg-deb -x "$deb" "$work/root"
root=$work/root
for file in usr/bin/pelmora usr/share/applications/pelmora.desktop \
  usr/share/icons/hicolor/16x16/apps/pelmora.png usr/share/icons/hicolor/256x256/apps/pelmora.png \
  usr/share/doc/pelmora/README.md; do
  [[ -f $root/$file ]] || fail "the package lacks /$file"
done
# The engine's terminal, when this build made it, goes where the installed program looks for it.
if [[ -n $(find "$build" -name QvodTerminal.exe -type f -print -quit) ]]; then
  [[ -x $root/usr/lib/pelmora/QvodTerminal.exe ]] || fail "the package lacks the engine terminal"
  [[ ", $depends," == *", libtorrent-rasterbar2.0,"* ]] || fail "Depends lacks libtorrent"
fi
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
echo "package test passed"
