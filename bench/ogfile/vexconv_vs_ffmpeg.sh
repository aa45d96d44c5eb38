#!/bin/sh
# vexconv beside the ffmpeg command that does the same job, on the same
# 640x480 MPEG-4 movie with sound, in the same run: wall time (best of
# $RUNS), the processor time of that run, and output size for
#   movie -> AVI (Motion JPEG at quantiser 2, 4:4:4, PCM sound)
#   movie -> numbered PNGs
# Usage: vexconv_vs_ffmpeg.sh VEXCONV [SECONDS] [RUNS]
set -eu
VEXCONV=${1:?usage: $0 VEXCONV [SECONDS] [RUNS]}
SECONDS_LONG=${2:-10}
RUNS=${3:-3}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM

ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=640x480:rate=25:duration=$SECONDS_LONG" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$SECONDS_LONG" \
  -c:v mpeg4 -q:v 4 -c:a pcm_s16le -ac 2 "$WORK/in.avi"

# Best wall time of $RUNS runs of a command, in seconds, and beside it
# the processor time (user + system, children included) of the same
# fastest run: other work on the machine moves wall time far more.
best() {
  best_s=
  best_cpu=
  i=0
  while [ $i -lt "$RUNS" ]; do
    rm -rf "$WORK/out" && mkdir "$WORK/out"
    times >"$WORK/cpu0"
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    times >"$WORK/cpu1"
    c0=$(cpu_of "$WORK/cpu0")
    c1=$(cpu_of "$WORK/cpu1")
    s=$(awk "BEGIN { print $t1 - $t0 }")
    if [ -z "$best_s" ] || [ "$(awk "BEGIN { print ($s < $best_s) }")" = 1 ]; then
      best_s=$s
      best_cpu=$(awk "BEGIN { print $c1 - $c0 }")
    fi
    i=$((i + 1))
  done
  echo "$best_s $best_cpu"
}

# Processor seconds of the finished children in the output of `times`
# (its second line: user and system, as 1m2.5s).
cpu_of() { tail -1 "$1" | awk '{ print to_s($1) + to_s($2) }
  function to_s(t,  m) { m = t; sub(/m.*/, "", m); sub(/^[0-9]+m/, "", t); sub(/s$/, "", t); return m * 60 + t }'; }

size_of() { du -cb "$@" | tail -1 | cut -f1; }

report() { # job, "our wall our cpu", "their wall their cpu", our bytes, their bytes
  set -- "$1" ${2} ${3} "$4" "$5"
  printf '%-22s vexconv %6.2f s (cpu %6.2f)  ffmpeg %6.2f s (cpu %6.2f)  wall ratio %5.2f  cpu ratio %5.2f   bytes %11s vs %11s (%.2f)\n' \
    "$1" "$2" "$3" "$4" "$5" "$(awk "BEGIN { print $2 / $4 }")" "$(awk "BEGIN { print $3 / $5 }")" "$6" "$7" \
    "$(awk "BEGIN { print $6 / $7 }")"
}

# Motion JPEG: the writer sets the encoder's quantiser to 2 (quality 9999
# of 10000) and, its frames being RGB, codes them at 4:4:4; ffmpeg is
# given the same quantiser and layout. Its default layout (4:2:0, straight
# from the decoder's pictures) follows for reference.
ours=$(best "$VEXCONV" "$WORK/in.avi" "$WORK/out/o.avi" --codec mjpeg -q -y)
our_bytes=$(size_of "$WORK/out/o.avi")
theirs=$(best ffmpeg -y -i "$WORK/in.avi" -c:v mjpeg -q:v 2 -pix_fmt yuvj444p -c:a pcm_s16le "$WORK/out/o.avi")
their_bytes=$(size_of "$WORK/out/o.avi")
report "movie -> AVI (mjpeg)" "$ours" "$theirs" "$our_bytes" "$their_bytes"
theirs=$(best ffmpeg -y -i "$WORK/in.avi" -c:v mjpeg -q:v 2 -c:a pcm_s16le "$WORK/out/o.avi")
their_bytes=$(size_of "$WORK/out/o.avi")
report "  ffmpeg at 4:2:0" "$ours" "$theirs" "$our_bytes" "$their_bytes"

ours=$(best "$VEXCONV" "$WORK/in.avi" "$WORK/out/f.png" -q -y)
our_bytes=$(size_of "$WORK/out")
theirs=$(best ffmpeg -y -i "$WORK/in.avi" -start_number 0 "$WORK/out/f%03d.png")
their_bytes=$(size_of "$WORK/out")
report "movie -> PNGs" "$ours" "$theirs" "$our_bytes" "$their_bytes"
