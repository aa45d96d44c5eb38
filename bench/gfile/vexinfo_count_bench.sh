#!/bin/sh
# vexinfo -v (a line per frame: its depth and bytes, every frame decoded)
# beside `ffprobe -count_frames` (every frame decoded and counted) on the
# same generated 1280x720 movies of $FRAMES frames, in the same run, in
# turns: the best wall time of $RUNS for each, the processor time of that
# run, and the ratios. Optionally a second vexinfo (an older build) in the
# same turns.
# Usage: vexinfo_count_bench.sh VEXINFO [FRAMES] [RUNS] [VEXINFO_BEFORE]
set -eu
VEXINFO=${1:?usage: $0 VEXINFO [FRAMES] [RUNS] [VEXINFO_BEFORE]}
FRAMES=${2:-280}
RUNS=${3:-3}
BEFORE=${4:-}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM

src="-f lavfi -i testsrc2=size=1280x720:rate=30 -frames:v $FRAMES -pix_fmt yuv420p"
ffmpeg -loglevel error -y $src -c:v libx264 "$WORK/h264.mp4"
ffmpeg -loglevel error -y $src -c:v mpeg4 -q:v 4 "$WORK/mpeg4.avi"

# Wall seconds and processor seconds (user + system) of one run.
once() {
  /usr/bin/time -f '%e %U %S' -o "$WORK/t" "$@" >"$WORK/out" 2>/dev/null
  awk '{ print $1, $2 + $3 }' "$WORK/t"
}

# Keeps the fastest run of each contender: "wall cpu" in $WORK/best.NAME.
keep() { # name, "wall cpu"
  if [ ! -f "$WORK/best.$1" ] || [ "$(awk -v a="$2" -v b="$(cat "$WORK/best.$1")" \
      'BEGIN { split(a, x, " "); split(b, y, " "); print (x[1] < y[1]) }')" = 1 ]; then
    echo "$2" >"$WORK/best.$1"
  fi
}

for movie in h264.mp4 mpeg4.avi; do
  rm -f "$WORK"/best.*
  i=0
  while [ $i -lt "$RUNS" ]; do
    keep vexinfo "$(once "$VEXINFO" -v "$WORK/$movie")"
    lines=$(grep -c '^  frame ' "$WORK/out")
    keep ffprobe "$(once ffprobe -v error -count_frames -select_streams v:0 \
      -show_entries stream=nb_read_frames -of csv=p=0 "$WORK/$movie")"
    counted=$(cat "$WORK/out")
    if [ -n "$BEFORE" ]; then keep before "$(once "$BEFORE" -v "$WORK/$movie")"; fi
    i=$((i + 1))
  done
  set -- $(cat "$WORK/best.vexinfo") $(cat "$WORK/best.ffprobe")
  printf '%-10s %s frames: vexinfo -v %6.2f s (cpu %6.2f, %s frame lines)  ffprobe -count_frames %6.2f s (cpu %6.2f, %s)  wall ratio %5.2f  cpu ratio %5.2f\n' \
    "$movie" "$FRAMES" "$1" "$2" "$lines" "$3" "$4" "$counted" "$(awk "BEGIN { print $1 / $3 }")" \
    "$(awk "BEGIN { print $2 / $4 }")"
  if [ -n "$BEFORE" ]; then
    set -- $(cat "$WORK/best.before") $(cat "$WORK/best.ffprobe")
    printf '%-10s   the other build: %6.2f s (cpu %6.2f)  wall ratio to ffprobe %5.2f\n' "$movie" "$1" "$2" \
      "$(awk "BEGIN { print $1 / $3 }")"
  fi
done
