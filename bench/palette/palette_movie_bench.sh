#!/bin/sh
# End to end, tool beside tool, in the same run: a 640 x 480, 300-frame
# true-colour movie to a 256-colour FLC with vexconv, and to a GIF with the
# ffmpeg tool's palettegen + paletteuse (no dithering), the usual way to
# get one shared palette out of a movie. Prints wall times, their ratio and
# the PSNR of each result against the movie (ffmpeg's psnr filter decodes
# the FLC and the GIF, so one independent decoder judges both).
#
#   bench/palette/palette_movie_bench.sh [build dir] [runs]
#
# The movie (the mandelbrot test source, many colours that keep changing)
# is made once and kept in $VEXUTIL_BENCH_CACHE (default
# /tmp/vexutil-bench-palette). Each tool runs `runs` times (default 3);
# the fastest run counts.
set -eu

build=${1:-build}
runs=${2:-3}
vexconv="$build/tools/vexconv"
cache=${VEXUTIL_BENCH_CACHE:-/tmp/vexutil-bench-palette}
movie="$cache/mandelbrot-640x480-300.avi"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ -x "$vexconv" ] || { echo "no $vexconv: build the vexconv target first" >&2; exit 1; }
mkdir -p "$cache"
if [ ! -s "$movie" ]; then
  echo "making $movie (once)..." >&2
  ffmpeg -y -loglevel error -f lavfi -i mandelbrot=size=640x480:rate=30 -frames:v 300 \
    -c:v mpeg4 -q:v 2 "$movie.part.avi"
  mv "$movie.part.avi" "$movie"
fi

now() { date +%s.%N; }

# Fastest wall time of `runs` runs of a command, in seconds.
fastest() {
  best=""
  i=0
  while [ "$i" -lt "$runs" ]; do
    t0=$(now)
    "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
    t1=$(now)
    t=$(echo "$t1 - $t0" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    i=$((i + 1))
  done
  echo "$best"
}

# Average PSNR over the 300 frames (RGB) of a result against the movie.
# Frames are paired by their number, not their time: a FLC stores whole
# milliseconds per frame and a GIF hundredths of a second, so by time they
# drift apart from the movie's 30 fps. A decoded FLC ends with its ring
# frame (frame 1 again), which `shortest` leaves out.
psnr() {
  pair="settb=1/30,setpts=N,format=rgb24"
  ffmpeg -loglevel info -i "$1" -i "$movie" -fps_mode passthrough \
    -lavfi "[0:v]$pair[a];[1:v]$pair[b];[a][b]psnr=shortest=1" -frames:v 300 \
    -f null - 2>&1 | sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -1
}

vex_default=$(fastest "$vexconv" "$movie" "$work/v.flc" /O -q)
vex_default_psnr=$(psnr "$work/v.flc")
vex_plain=$(fastest "$vexconv" "$movie" "$work/p.flc" /O /T2 -q)
vex_plain_psnr=$(psnr "$work/p.flc")
vex_u30=$(fastest "$vexconv" "$movie" "$work/u.flc" /O /T2 /U30 -q)
vex_u30_psnr=$(psnr "$work/u.flc")
gif=$(fastest ffmpeg -y -loglevel error -i "$movie" \
  -vf "split[a][b];[a]palettegen=max_colors=256[p];[b][p]paletteuse=dither=none" "$work/f.gif")
gif_psnr=$(psnr "$work/f.gif")
gif1=$(fastest ffmpeg -y -loglevel error -threads 1 -filter_threads 1 -i "$movie" \
  -vf "split[a][b];[a]palettegen=max_colors=256[p];[b][p]paletteuse=dither=none" "$work/g.gif")

ratio() { echo "scale=2; $1 / $2" | bc -l; }
echo "movie: $movie (640 x 480, 300 frames, fastest of $runs runs)"
echo "| run | wall s | ffmpeg GIF / this | PSNR dB |"
echo "| --- | ---: | ---: | ---: |"
printf '| vexconv (one palette, 24-bit promotion on: the default) | %.2f | %sx | %.2f |\n' "$vex_default" "$(ratio "$gif" "$vex_default")" "$vex_default_psnr"
printf '| vexconv /T2 (one palette, no promotion) | %.2f | %sx | %.2f |\n' "$vex_plain" "$(ratio "$gif" "$vex_plain")" "$vex_plain_psnr"
printf '| vexconv /T2 /U30 (a palette per 30 frames) | %.2f | %sx | %.2f |\n' "$vex_u30" "$(ratio "$gif" "$vex_u30")" "$vex_u30_psnr"
printf '| ffmpeg palettegen + paletteuse=dither=none, GIF | %.2f | 1.00x | %.2f |\n' "$gif" "$gif_psnr"
printf '| the same, ffmpeg on one thread | %.2f | %sx | (same) |\n' "$gif1" "$(ratio "$gif" "$gif1")"
