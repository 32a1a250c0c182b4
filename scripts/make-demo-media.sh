#!/usr/bin/env bash
# Makes the demo service's clips once, with ffmpeg: one short clip per episode of the demo
# catalogue (service/catalogue.txt), showing the programme name and episode number and carrying
# a tone. H.264/AAC MP4 for episodes that play in the player ("qvod" sources), VP8/Opus WebM for
# those that play in the web player page. Clips that exist already are kept.
# Usage: scripts/make-demo-media.sh [DIR]
#   DIR defaults to $XDG_DATA_HOME/pelmora/demo-media (~/.local/share/pelmora/demo-media), the
#   folder pelmora-demo-service serves when it is started without --data.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
catalogue=$top/service/catalogue.txt
dir=${1:-${XDG_DATA_HOME:-$HOME/.local/share}/pelmora/demo-media}
seconds=24

if ! command -v ffmpeg >/dev/null; then
  echo "make-demo-media: ffmpeg is missing (scripts/install-deps.sh media)" >&2
  exit 1
fi
mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A font that has Chinese glyphs if there is one, else a Latin one; without any, plain cards.
font=""
if command -v fc-list >/dev/null; then
  font=$(fc-list ':lang=zh' file 2>/dev/null | sed 's/: *$//' | sort | head -n 1 || true)
fi
cjk=yes
if [ -z "$font" ]; then
  cjk=no
  for candidate in /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf \
                   /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf; do
    if [ -f "$candidate" ]; then font=$candidate; break; fi
  done
fi

declare -A names colours patterns
made=0
kept=0
while IFS='|' read -r record a b c d _; do
  case "$record" in
    programme)
      names[$a]=$b; colours[$a]=$c; patterns[$a]=$d ;;
    source)
      id=$a; source=$b; kind=$c; episodes=$d
      name=${names[$id]}
      colour=0x${colours[$id]#\#}
      # Chinese names need a Chinese font; otherwise the card says which programme it is.
      if [ "$cjk" = no ] && LC_ALL=C grep -q '[^ -~]' <<<"$name"; then
        name="Programme $id"
      fi
      for ((episode = 1; episode <= episodes; episode++)); do
        if [ "$kind" = qvod ]; then ext=mp4; else ext=webm; fi
        file=$(printf 'p%s-s%s-e%02d.%s' "$id" "$source" "$episode" "$ext")
        if [ -s "$dir/$file" ]; then kept=$((kept + 1)); continue; fi
        # shellcheck disable=SC2059  # the caption pattern is ours, with one %d
        label=$(printf "${patterns[$id]}" "$episode")
        if [ "$cjk" = no ] && LC_ALL=C grep -q '[^ -~]' <<<"$label"; then
          label="Episode $episode"
        fi
        printf '%s\n%s' "$name" "$label" >"$work/title.txt"
        printf 'source %s   %%{pts:hms}' "$source" >"$work/clock.txt"
        filter=null
        if [ -n "$font" ]; then
          filter="drawtext=fontfile=$font:textfile=$work/title.txt:expansion=none"
          filter+=":fontcolor=white:fontsize=24:line_spacing=8:x=(w-text_w)/2:y=(h-text_h)/2"
          filter+=",drawtext=fontfile=$font:textfile=$work/clock.txt"
          filter+=":fontcolor=white@0.8:fontsize=13:x=8:y=h-22"
        fi
        if [ "$ext" = mp4 ]; then
          codecs=(-c:v libx264 -preset veryfast -crf 32 -pix_fmt yuv420p
                  -c:a aac -b:a 48k -movflags +faststart)
        else
          codecs=(-c:v libvpx -deadline realtime -cpu-used 8 -b:v 200k -pix_fmt yuv420p
                  -c:a libopus -b:a 32k)
        fi
        frequency=$((220 + 110 * episode))
        part="$dir/.${file%.*}.part.$ext"
        # Written under a temporary name first, so that an interrupted run leaves no half clip
        # that the next run would keep.
        if ! ffmpeg -hide_banner -loglevel error -nostdin -y \
          -f lavfi -i "color=c=$colour:s=320x180:r=15:d=$seconds" \
          -f lavfi -i "sine=frequency=$frequency:sample_rate=48000:duration=$seconds" \
          -vf "$filter" "${codecs[@]}" -ac 1 -shortest "$part"; then
          rm -f "$part"
          echo "make-demo-media: ffmpeg failed on $file" >&2
          exit 1
        fi
        mv "$part" "$dir/$file"
        made=$((made + 1))
        echo "make-demo-media: $dir/$file"
      done ;;
  esac
done < <(grep -v '^#' "$catalogue")
echo "make-demo-media: $made made, $kept already there, in $dir"
