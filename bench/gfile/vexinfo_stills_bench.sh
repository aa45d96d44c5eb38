#!/bin/sh
# vexinfo on 200 small stills (100 PNG, 50 BMP, 50 JPEG) with two builds in
# the same run, in turns: the best wall time of $RUNS for each, their
# ratio, and (with strace installed) how often each build opens the files.
# Usage: vexinfo_stills_bench.sh VEXINFO_BEFORE VEXINFO_AFTER [RUNS]
set -eu
BEFORE=${1:?usage: $0 VEXINFO_BEFORE VEXINFO_AFTER [RUNS]}
AFTER=${2:?usage: $0 VEXINFO_BEFORE VEXINFO_AFTER [RUNS]}
RUNS=${3:-5}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM

src="-f lavfi -i testsrc2=size=64x48:rate=25"
ffmpeg -loglevel error -y $src -frames:v 100 "$WORK/s%03d.png"
ffmpeg -loglevel error -y $src -frames:v 50 "$WORK/b%03d.bmp"
ffmpeg -loglevel error -y $src -frames:v 50 "$WORK/j%03d.jpg"
cd "$WORK"

# Wall time of one run of $1 over every still, in seconds.
once() {
  t0=$(date +%s%N)
  "$1" s*.png b*.bmp j*.jpg >/dev/null 2>&1
  t1=$(date +%s%N)
  echo "$(( (t1 - t0) / 1000 ))" # microseconds
}

: >before.txt
: >after.txt
i=0
while [ $i -lt "$RUNS" ]; do
  once "$BEFORE" >>before.txt
  once "$AFTER" >>after.txt
  i=$((i + 1))
done
b=$(sort -n before.txt | head -n 1)
a=$(sort -n after.txt | head -n 1)
echo "vexinfo on 200 stills, best of $RUNS: before $b us, after $a us, after/before $(echo "scale=3; $a / $b" | bc)"

if command -v strace >/dev/null 2>&1; then
  for which in BEFORE AFTER; do
    eval tool=\$$which
    strace -f -e trace=open,openat -o trace.txt "$tool" s*.png b*.bmp j*.jpg >/dev/null 2>&1
    echo "$which: $(grep -c -E '"(s|b|j)[0-9]{3}\.(png|bmp|jpg)"' trace.txt) opens of the 200 stills"
  done
fi
